#pragma once
// Resource ids of the module. Numbers are fixed: other programs and the
// installation refer to some of them.

// Group icons, in ascending order; the shell addresses them by position.
#define IDI_GENERIC 166       // index 0: a camera folder item
#define IDI_IMAGE 214         // index 1: a picture file
#define IDI_IMAGE_NEW 215     // index 2: a picture not yet copied
#define IDI_HARD_DISK 239     // index 3
#define IDI_REMOVABLE 240     // index 4
#define IDI_FOLDER 241        // index 5
#define IDI_CAMERA 245        // index 6

// String table.
#define IDS_IMAGE_ACQUISITION_ERROR 32785
#define IDS_TRANSFERRING_IMAGE 32786
#define IDS_CONFIRM_DELETE_ALL_TEXT 32787
#define IDS_CONFIRM_IMAGE_DELETE 32788
#define IDS_CONFIRM_DELETE_ALL 32789
#define IDS_DELETE_ALL_WARNING 32790
#define IDS_CONFIRM_DELETE_SELECTED_TEXT 32791
#define IDS_VERSION 32792
#define IDS_ABOUT 32793
#define IDS_TIP_ROTATE_SELECTED 32797
#define IDS_TIP_DELETE_ALL 32799
#define IDS_TIP_DELETE_SELECTED 32800
#define IDS_TIP_PRINT 32801
#define IDS_IMAGES_ON_DISK 32804
#define IDS_TIP_SETTINGS 32805
#define IDS_TIP_REFRESH 32806
#define IDS_TIP_PROPERTIES 32807
#define IDS_TIP_THUMBNAIL_VIEW 32808
#define IDS_TIP_LIST_VIEW 32809
#define IDS_MENU_ROTATE_SELECTED 32810
#define IDS_MENU_DELETE_ALL 32811
#define IDS_MENU_DELETE_SELECTED 32812
#define IDS_MENU_PRINT 32813
#define IDS_MENU_SELECT_FOLDER 32816
#define IDS_MENU_SETTINGS 32817
#define IDS_TIP_SELECT_FOLDER 32818
#define IDS_MENU_PROPERTIES 32819
#define IDS_MENU_THUMBNAIL_VIEW 32820
#define IDS_MENU_LIST_VIEW 32821
#define IDS_MENU_SELECT_ALL 32822
#define IDS_MENU_ABOUT 32823
#define IDS_MENU_COPY 32825
#define IDS_MENU_PASTE 32826
#define IDS_CONNECTION_ERROR_CAPTION 32827
#define IDS_CONNECTION_ERROR 32828
#define IDS_STATUS_COUNTS 32829
#define IDS_POPUP_PREVIEW 32830
#define IDS_POPUP_COPY 32831
#define IDS_POPUP_ROTATE 32832
#define IDS_POPUP_DELETE 32833
#define IDS_POPUP_PRINT 32834
#define IDS_POPUP_SELECT_ALL 32835
#define IDS_FULL_RESOLUTION_IMAGE 32844
#define IDS_SELECT_IMAGE_FOLDER 32845
#define IDS_COLUMN_FILE_NAME 32846
#define IDS_COLUMN_FILE_SIZE 32847
#define IDS_COLUMN_CAPTURE_DATE 32848
#define IDS_COLUMN_IMAGE_SIZE 32849
#define IDS_DIGITAL_CAMERA 32851
#define IDS_REMOVABLE_MEDIA 32852
#define IDS_HARD_DISK 32853
#define IDS_FOLDER_COUNT 32854
#define IDS_PRODUCT_STATUS 32855
#define IDS_CANNOT_READ_FILE 32856
#define IDS_ERROR 32857
#define IDS_NOTHING_TO_PRINT 32858
#define IDS_PRINT_CAPTION 32859
#define IDS_CANNOT_PLAY 32860
#define IDS_ADDRESS_MISSING 32861

// Dialogs.
#define IDD_PROGRESS 102  // the transfer progress dialog
#define IDC_PROGRESS_BAR 1003
#define IDC_PROGRESS_PERCENT 1004
#define IDC_PROGRESS_NAME 1005
#define IDD_ABOUT 216  // picture only, no caption bar
#define IDC_ABOUT_PICTURE 1801
#define IDB_ABOUT 218
#define IDD_VIEW 131  // the empty child dialog that is a view's window

// Bitmaps: the viewer's toolbar strip (rotate, zoom in, zoom out) and the
// toolbar buttons of the views.
#define IDB_VIEWER_TOOLBAR 134
#define IDB_TOOL_FOLDER 231
#define IDB_TOOL_LIST 232
#define IDB_TOOL_REFRESH 233
#define IDB_TOOL_ROTATE 234
#define IDB_ROOT_TOOLBAR 235  // Settings
#define IDB_TOOL_THUMBS 236

// The camera view's accelerators.
#define IDA_VIEW 129

// The camera settings dialog and its controls.
#define IDD_CAMERA_SETTINGS 157
#define IDC_CAMERA_LIST 1010
#define IDC_TYPE_LIST 1012
#define IDC_SPEED_LIST 1013
#define IDC_PORT_LIST 1014
#define IDC_REMOTE_GROUP 1018
#define IDC_TYPE_LABEL 1019
#define IDC_PORT_LABEL 1020
#define IDC_SPEED_LABEL 1023
#define IDC_ADDRESS_LABEL 1024
#define IDC_ADDRESS_EDIT 1025

// The print dialog: the system's print dialog plus the four layout buttons
// (their order in the dialog is 1002, 1004, 1003, 1005).
#define IDD_PRINT 1542
#define IDC_LAYOUT_SINGLE 1002
#define IDC_LAYOUT_FOUR 1003
#define IDC_LAYOUT_TWO 1004
#define IDC_LAYOUT_SHEET 1005
