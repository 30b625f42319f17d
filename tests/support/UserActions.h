#pragma once
// A user at a camera folder's view in a browser of our own: visiting the folder, clicking, pressing keys,
// choosing commands, dragging, handing the selection to another program, leaving. The long runs, the
// random-action monkeys and the serial camera's stall tests all act through it.
#include <memory>
#include <random>
#include <string>

#include "server/CameraFolder.h"
#include "server/SourceFolder.h"
#include "support/BrowserHost.h"
#include "support/CardModel.h"
#include "view/CameraView.h"

struct ViewUser {
    // The disk card at `cardRoot`, or with `serial` the same model over the camera simulator on COM5.
    ViewUser(const std::string& cardRoot, bool serial);
    ~ViewUser() { Leave(), KillTimer(nullptr, leaveTimer); }
    CameraView* Open();  // a new visit to the folder; null when no view came
    void Leave();        // closes the view and any picture viewer it opened
    void Command(int command);  // as the browser's menu or toolbar sends it
    // Clicks thumbnail `index` in reading order (the list in list view); past the last, the background.
    void Click(int index, WPARAM modifiers = 0, bool twice = false);
    HRESULT CopyOut(STGMEDIUM* medium);  // the selection's files, as a program the copy was pasted into asks
    void RandomAction(std::mt19937& random);
    void LeaveDuringTheNextTransfer();
    CameraView* View() const { return static_cast<CameraView*>(view.Get()); }

    CardModelKeys keys;
    std::unique_ptr<ScopedRegKey> viewerKey, remoteKey, serialKey;  // the serial line's, to the simulator at 115200 bps
    ComRef<SourceFolder> source;
    ComRef<CameraFolder> folder;
    ComRef<IShellView> view;
    std::unique_ptr<BrowserHost> host;
    std::string folderName = "100TEST", pictures;  // the folder's name and where its files lie
    UINT_PTR leaveTimer = 0;
};
