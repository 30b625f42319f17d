; The OrvexView installer: the module, its codec library and the camera
; drivers into one folder under Program Files (the module loads the codec from
; its own folder: nothing goes into the system folder), their 32-bit builds
; likewise under Program Files (x86) for 32-bit programs' dialogs, and every
; registry key an installation owns, in both registry views.
; The uninstaller removes all of it. Built by the "installer" target:
;   makensis -DBIN=<folder of the DLLs> -DBIN32=<folder of the 32-bit DLLs> -DOUTFILE=<setup.exe>
;            -DVERSION=x.y.z.w orvexview.nsi
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!ifndef BIN
  !error "BIN (the folder of the built DLLs) is required"
!endif
!ifndef BIN32
  !error "BIN32 (the folder of the built 32-bit DLLs) is required"
!endif
!ifndef OUTFILE
  !define OUTFILE "OrvexView-Setup.exe"
!endif
!ifndef VERSION
  !define VERSION "0.0.0.0"
!endif

!define CLSID "{7A3E91D0-5B2C-4E8F-9D61-2F0C8A4B7E13}"
!define CLASS_KEY "CLSID\${CLSID}"
!define JUNCTION_KEY "Software\Microsoft\Windows\CurrentVersion\Explorer\MyComputer\NameSpace\${CLSID}"
!define PRODUCT_KEY "Software\Pictavia\OrvexView"
!define SETTINGS_KEY "${PRODUCT_KEY}\Settings"
!define LAYOUTS_KEY "${PRODUCT_KEY}\Print Layouts"
!define CAMERAS_KEY "Software\Pictavia\Orvex Cameras"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\OrvexView"
; 32-bit programs load 32-bit shell extensions only, and read their own view of
; HKLM\Software and of the classes: the 32-bit files go where 32-bit programs
; go, and that view's keys name them.
!define DIR32 "$PROGRAMFILES32\Pictavia\OrvexView"

Name "OrvexView"
Caption "OrvexView ${VERSION} Setup"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Pictavia\OrvexView"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Pictavia OrvexView ${VERSION}"
VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "OrvexView"
VIAddVersionKey "CompanyName" "Pictavia"
VIAddVersionKey "FileDescription" "OrvexView Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Pictavia"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

; A camera model: its thumbnail sizes and the connection kind it starts with.
!macro CameraModel MODEL CONNECTION
  WriteRegStr HKLM "${CAMERAS_KEY}\${MODEL}" "Connection" "${CONNECTION}"
  WriteRegStr HKLM "${CAMERAS_KEY}\${MODEL}" "ThumbFrameSize" "90"
  WriteRegStr HKLM "${CAMERAS_KEY}\${MODEL}" "SmallThumbFrameSize" "90"
!macroend

!macro PrintLayout NAME TITLE ASPECT PERPAGE THUMBSIZE
  WriteRegStr HKLM "${LAYOUTS_KEY}\${NAME}" "Title" "${TITLE}"
  WriteRegStr HKLM "${LAYOUTS_KEY}\${NAME}" "Aspect" "${ASPECT}"
  WriteRegStr HKLM "${LAYOUTS_KEY}\${NAME}" "ImagesPerPage" "${PERPAGE}"
  WriteRegStr HKLM "${LAYOUTS_KEY}\${NAME}" "ThumbSize" "${THUMBSIZE}"
!macroend

; The folder class, its junction and the machine settings, in the current
; registry view, naming the module and drivers in DIR.
!macro MachineKeys DIR
  ; The shell folder and its place under My Computer.
  WriteRegStr HKCR "${CLASS_KEY}" "" "OrvexView"
  WriteRegStr HKCR "${CLASS_KEY}\DefaultIcon" "" "${DIR}\orvexview.dll,6"
  WriteRegStr HKCR "${CLASS_KEY}\InprocServer32" "" "${DIR}\orvexview.dll"
  WriteRegStr HKCR "${CLASS_KEY}\InprocServer32" "ThreadingModel" "Apartment"
  WriteRegDWORD HKCR "${CLASS_KEY}\ShellFolder" "Attributes" 0xb8000000
  WriteRegStr HKLM "${JUNCTION_KEY}" "" "OrvexView"

  WriteRegStr HKLM "${SETTINGS_KEY}" "Camera" "Memory Card"
  WriteRegStr HKLM "${SETTINGS_KEY}" "ViewType" "Thumbs"

  WriteRegStr HKLM "${LAYOUTS_KEY}" "CurrentLayout" "Layout4"
  !insertmacro PrintLayout "Layout1" "Single" "1" "1" "100"
  !insertmacro PrintLayout "Layout2" "Two images per page" "1" "2" "100"
  !insertmacro PrintLayout "Layout3" "Four images per page" "1" "4" "100"
  !insertmacro PrintLayout "Layout4" "Contact Sheet" "0" "1" "100"

  ; Pictures in any disk folder.
  WriteRegStr HKLM "${CAMERAS_KEY}\ImageViewer" "Path" "${DIR}\diskcam.dll"
  WriteRegStr HKLM "${CAMERAS_KEY}\ImageViewer" "CurrentFolder" ""
  WriteRegStr HKLM "${CAMERAS_KEY}\ImageViewer" "ThumbFrameSize" "90"
  WriteRegStr HKLM "${CAMERAS_KEY}\ImageViewer" "SmallThumbFrameSize" "90"

  ; A memory card in a removable drive.
  !insertmacro CameraModel "Memory Card" "Local"
  WriteRegStr HKLM "${CAMERAS_KEY}\Memory Card\Local" "Path" "${DIR}\diskcam.dll"

  ; A camera on a serial or parallel line; its card read in a removable drive.
  !insertmacro CameraModel "Serial Camera" "Remote"
  WriteRegStr HKLM "${CAMERAS_KEY}\Serial Camera\Local" "Path" "${DIR}\diskcam.dll"
  WriteRegStr HKLM "${CAMERAS_KEY}\Serial Camera\Remote" "RemoteConnectionType" "Serial"
  WriteRegStr HKLM "${CAMERAS_KEY}\Serial Camera\Remote\Serial" "Path" "${DIR}\serialcam.dll"
  WriteRegStr HKLM "${CAMERAS_KEY}\Serial Camera\Remote\Serial" "ComPort" "COM1"
  WriteRegStr HKLM "${CAMERAS_KEY}\Serial Camera\Remote\Serial" "ComSpeed" "115200"
  WriteRegStr HKLM "${CAMERAS_KEY}\Serial Camera\Remote\Serial" "SupportedSpeed" "9600,19200,38400,57600,115200"
  WriteRegStr HKLM "${CAMERAS_KEY}\Serial Camera\Remote\Parallel" "Path" "${DIR}\serialcam.dll,LPT1"
  WriteRegStr HKLM "${CAMERAS_KEY}\Serial Camera\Remote\Parallel" "ComPort" "LPT1"

  ; A camera on the network (PTP/IP); its own access point usually answers at 192.168.1.1.
  !insertmacro CameraModel "Wi-Fi Camera" "Remote"
  WriteRegStr HKLM "${CAMERAS_KEY}\Wi-Fi Camera\Local" "Path" "${DIR}\diskcam.dll"
  WriteRegStr HKLM "${CAMERAS_KEY}\Wi-Fi Camera\Remote" "RemoteConnectionType" "Network"
  WriteRegStr HKLM "${CAMERAS_KEY}\Wi-Fi Camera\Remote\Network" "Path" "${DIR}\ptpcam.dll"
  WriteRegStr HKLM "${CAMERAS_KEY}\Wi-Fi Camera\Remote\Network" "Address" "192.168.1.1"
!macroend

Section "OrvexView"
  SetOutPath "$INSTDIR"
  File "${BIN}/orvexview.dll"
  File "${BIN}/pixcodec.dll"
  File "${BIN}/diskcam.dll"
  File "${BIN}/serialcam.dll"
  File "${BIN}/ptpcam.dll"
  ; Earlier versions put the codec into the system folder; it is loaded from beside the module now.
  Delete /REBOOTOK "$SYSDIR\pixcodec.dll"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  SetOutPath "${DIR32}"
  File "${BIN32}/orvexview.dll"
  File "${BIN32}/pixcodec.dll"
  File "${BIN32}/diskcam.dll"
  File "${BIN32}/serialcam.dll"
  File "${BIN32}/ptpcam.dll"

  !insertmacro MachineKeys "$INSTDIR"
  SetRegView 32
  !insertmacro MachineKeys "${DIR32}"
  SetRegView 64

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "OrvexView"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Pictavia"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\orvexview.dll,6"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  ; SHCNE_ASSOCCHANGED: the shell reads the new folder class.
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

!macro un.MachineKeys
  DeleteRegKey HKCR "${CLASS_KEY}"
  DeleteRegKey HKLM "${JUNCTION_KEY}"
  DeleteRegKey HKLM "${PRODUCT_KEY}"
  DeleteRegKey HKLM "${CAMERAS_KEY}"
  DeleteRegKey /ifempty HKLM "Software\Pictavia"
!macroend

Section "Uninstall"
  !insertmacro un.MachineKeys
  SetRegView 32
  !insertmacro un.MachineKeys
  SetRegView 64
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  ; A browser may still hold the module: such files go at the next restart.
  Delete /REBOOTOK "${DIR32}\orvexview.dll"
  Delete /REBOOTOK "${DIR32}\pixcodec.dll"
  Delete /REBOOTOK "${DIR32}\diskcam.dll"
  Delete /REBOOTOK "${DIR32}\serialcam.dll"
  Delete /REBOOTOK "${DIR32}\ptpcam.dll"
  RMDir /REBOOTOK "${DIR32}"
  RMDir "$PROGRAMFILES32\Pictavia"
  Delete /REBOOTOK "$INSTDIR\orvexview.dll"
  Delete /REBOOTOK "$INSTDIR\pixcodec.dll"
  Delete /REBOOTOK "$INSTDIR\diskcam.dll"
  Delete /REBOOTOK "$INSTDIR\serialcam.dll"
  Delete /REBOOTOK "$INSTDIR\ptpcam.dll"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir /REBOOTOK "$INSTDIR"
  RMDir "$PROGRAMFILES64\Pictavia"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd
