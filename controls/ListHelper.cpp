#include "controls/ListHelper.h"

#include <algorithm>
#include <cwchar>
#include <utility>

#include "base/Dpi.h"
#include "base/Module.h"
#include "base/SlimLock.h"
#include "base/SizeText.h"
#include "base/WideText.h"
#include "camera/CameraService.h"
#include "res/resource.h"

namespace {

const wchar_t kFrameClass[] = L"ListHelper";
constexpr int kInfoTries = 40;
constexpr DWORD kInfoPause = 250;
constexpr DWORD kPauseSlice = 25;
constexpr int kObjectOffset = 8;
constexpr UINT_PTR kCountTimer = 1;
constexpr UINT kRowsChanged = WM_APP + 1;
constexpr UINT kFlushNow = WM_APP + 2;

struct Column {
    UINT text;
    int format;
    int width;
};
const Column kColumns[4] = {{IDS_COLUMN_FILE_NAME, LVCFMT_LEFT, 180},
                            {IDS_COLUMN_FILE_SIZE, LVCFMT_RIGHT, 80},
                            {IDS_COLUMN_CAPTURE_DATE, LVCFMT_LEFT, 120},
                            {IDS_COLUMN_IMAGE_SIZE, LVCFMT_LEFT, 120}};

HIMAGELIST MakeIcons(int size) {
    HIMAGELIST icons = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 1, 0);
    for (UINT id : {IDI_IMAGE_NEW, IDI_IMAGE}) {
        HICON icon = static_cast<HICON>(LoadImageW(theModule.instance, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
        ImageList_AddIcon(icons, icon);
        DestroyIcon(icon);
    }
    return icons;
}

void SetListSelection(HWND list, int row, bool selected) {
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED;
    item.state = selected ? LVIS_SELECTED : 0;
    SendMessageW(list, LVM_SETITEMSTATE, WPARAM(row), reinterpret_cast<LPARAM>(&item));
}

std::wstring Field(const char* text, size_t size) { return Widen(std::string(text, strnlen(text, size))); }

}  // namespace

ListHelper::~ListHelper() = default;

// A worker still reading a file frees the helper when it is done.
void ListHelper::Destroy(int flags) {
    if (!(flags & 1)) return;
    sink_ = nullptr;
    if (!loader_.Abandon([this] { delete this; })) delete this;
}

int ListHelper::Find(const char* name) const {
    if (!name) return -1;
    auto found = byName_.find(name);
    return found == byName_.end() ? -1 : found->second;
}

void ListHelper::Reindex() {
    byName_.clear();
    for (size_t i = 0; i < records_.size(); ++i) byName_.emplace(records_[i].name, int(i));
}

const char* ListHelper::NameAt(int row) const {
    return row >= 0 && size_t(row) < records_.size() ? records_[size_t(row)].name.c_str() : nullptr;
}

BOOL ListHelper::CreateControl(int, const char*, DWORD, const RECT* rect, HWND parent, int) {
    if (!rect) return TRUE;
    RegisterModuleClass(kFrameClass, WindowProc, 0, 30);
    int width = rect->right - rect->left + 1, height = rect->bottom - rect->top + 1;
    HWND frame = CreateWindowExW(0, kFrameClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, width, height, parent, nullptr,
                                 theModule.instance, nullptr);
    if (!frame) return TRUE;
    frame_ = frame;
    SetWindowLongPtrW(frame, kObjectOffset, reinterpret_cast<LONG_PTR>(this));
    DWORD style = WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS |
                  (multiSelect_ ? 0 : LVS_SINGLESEL);
    style |= LVS_SHAREIMAGELISTS;  // the icons are ours: the list must not free them too
    HWND list = CreateWindowExW(0, WC_LISTVIEWW, L"", style, 0, 0, width, height, frame, nullptr,
                                theModule.instance, nullptr);
    list_ = list;
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    SetFocus(list);
    for (int i = 0; i < 4; ++i) {
        std::wstring text = LoadModuleText(kColumns[i].text);
        LVCOLUMNW column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = kColumns[i].format;
        column.cx = Scaled(kColumns[i].width, WindowDpi(frame));
        column.pszText = &text[0];
        column.iSubItem = i;
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(MakeIcons(Scaled(16, WindowDpi(frame)))));
    listCount_ = 0;  // rows added before the window come now, with their selection
    countPending_ = true;
    selectionPending_ = selectedCount_ > 0;
    FlushCount();
    return TRUE;
}

// Appending leaves a running loader alone: the list hears of the new rows
// once per burst, and the loader is woken then. An insertion moves the rows
// under the loader: it is stopped.
void ListHelper::AddItem(CameraImage* image, const char* name, int position) {
    ListItem record;
    record.name = name ? name : "";
    record.image = image;
    record.texts[0] = Widen(record.name);
    record.detailsDone = !image;
    if (position < 0 || size_t(position) >= records_.size()) {
        {
            ExclusiveHold hold(recordsLock_);
            records_.push_back(std::move(record));
        }
        byName_.emplace(records_.back().name, int(records_.size()) - 1);
        CountSoon();
        return;
    }
    bool wasRunning = loader_.Running();
    loader_.Stop();
    FlushCount();
    {
        ExclusiveHold hold(recordsLock_);
        records_.insert(records_.begin() + position, std::move(record));
    }
    Reindex();
    // The list keeps its selection by row: it is set again from the records.
    listCount_ = int(records_.size());
    HWND list = list_;
    SendMessageW(list, LVM_SETITEMCOUNT, WPARAM(listCount_), LVSICF_NOSCROLL);
    quiet_ = true;
    SetListSelection(list, -1, false);
    for (int row = 0; row < listCount_; ++row)
        if (records_[size_t(row)].selected) SetListSelection(list, row, true);
    quiet_ = false;
    if (wasRunning) StartLoader();
}

// Telling the list its count redraws its scroll bar: once per burst of additions.
void ListHelper::CountSoon() {
    if (countPending_) return;
    countPending_ = true;
    HWND frame = frame_;
    // A posted message comes before the user's next input; the timer stands in
    // should a foreign message filter take the message unseen.
    if (!frame || !SetTimer(frame, kCountTimer, 0, nullptr)) FlushCount();
    else PostMessageW(frame, kFlushNow, 0, 0);
}

void ListHelper::FlushCount() {
    if (!countPending_) return;
    countPending_ = false;
    HWND list = list_;
    if (HWND frame = frame_) KillTimer(frame, kCountTimer);
    int before = listCount_;
    listCount_ = int(records_.size());
    if (listCount_ != before)
        SendMessageW(list, LVM_SETITEMCOUNT, WPARAM(listCount_), LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    quiet_ = true;
    if (std::exchange(selectionPending_, false))
        for (int row = before; row < listCount_; ++row)
            if (records_[size_t(row)].selected) SetListSelection(list, row, true);
    std::vector<int> changed = std::exchange(shownChanges_, {});
    if (changed.size() > 1 && (selectedCount_ == listCount_ || selectedCount_ == 0))
        SetListSelection(list, -1, selectedCount_ != 0);  // all rows in one go
    else
        for (int row : changed)
            if (row < listCount_) SetListSelection(list, row, records_[size_t(row)].selected);
    quiet_ = false;
    ReadViewport();
    loader_.Wake();
}

void ListHelper::RemoveItem(const char* name) {
    bool wasRunning = loader_.Running();
    loader_.Stop();
    FlushCount();
    int row = Find(name);
    if (row >= 0) {
        HWND list = list_;
        SendMessageW(list, LVM_DELETEITEM, WPARAM(row), 0);  // moves the later rows' selection along
        MarkSelected(size_t(row), false);
        {
            ExclusiveHold hold(recordsLock_);
            records_.erase(records_.begin() + row);
        }
        listCount_ = int(records_.size());
        Reindex();
        UpdateWindow(list);
    }
    if (wasRunning) StartLoader();
}

void ListHelper::RemoveAllItems() {
    loader_.Stop();
    HWND list = list_;
    if (HWND frame = frame_) KillTimer(frame, kCountTimer);
    countPending_ = selectionPending_ = false;
    shownChanges_.clear();
    quiet_ = true;
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    quiet_ = false;
    {
        ExclusiveHold hold(recordsLock_);
        records_.clear();
    }
    byName_.clear();
    listCount_ = selectedCount_ = 0;
    UpdateWindow(list);
}

void ListHelper::SetLayout(short, short, short, short, short, COLORREF, int multiSelect) {
    multiSelect_ = multiSelect != 0;
    HWND list = list_;
    if (!list) return;
    LONG_PTR style = GetWindowLongPtrW(list, GWL_STYLE);
    style = multiSelect_ ? (style & ~LONG_PTR(LVS_SINGLESEL)) : (style | LVS_SINGLESEL);
    SetWindowLongPtrW(list, GWL_STYLE, style);
}

void ListHelper::MarkSelected(size_t row, bool selected) {
    if (records_[row].selected == selected) return;
    {
        ExclusiveHold hold(recordsLock_);
        records_[row].selected = selected;
    }
    selectedCount_ += selected ? 1 : -1;
    ++selectionChanges_;
}

// A row the list has not heard of yet takes its selection when it does.
// The list shows the change once per burst: selecting thousands of rows one
// by one costs the list control a moment each.
void ListHelper::SelectItem(const char* name, int select) {
    int row = Find(name);
    if (row < 0 || records_[size_t(row)].selected == (select != 0)) return;
    MarkSelected(size_t(row), select != 0);
    if (row < listCount_) shownChanges_.push_back(row);
    else selectionPending_ = selectionPending_ || select;
    CountSoon();
    if (sink_) sink_->SelectionChanged(name, select ? 1 : 0, row);
}

int ListHelper::IsItemSelected(const char* name) {
    int row = Find(name);
    return row >= 0 && records_[size_t(row)].selected ? 1 : 0;
}

int ListHelper::RotateItem(const char* name, int degrees) {
    int row = Find(name);
    if (row < 0) return 0;
    int r = records_[size_t(row)].rotation + degrees;
    if (r >= 360) r -= 360;
    if (r < -359) r += 360;
    return records_[size_t(row)].rotation = r;
}

int ListHelper::GetItemRotation(const char* name) {
    int row = Find(name);
    return row < 0 ? 0 : records_[size_t(row)].rotation;
}

void ListHelper::MoveControl(int x, int y, int width, int height) {
    if (HWND frame = frame_) MoveWindow(frame, x, y, width, height, TRUE);
}

void ListHelper::StartLoader() {
    if (loader_.Running()) return;
    ++starts_;
    loader_.Start();
}

void ListHelper::RestartLoader() {
    loader_.Stop();
    StartLoader();
}

// The records stay for a worker still reading; the helper's Destroy frees them.
void ListHelper::DestroyControl() {
    HWND list = list_, frame = frame_;
    HIMAGELIST icons = list ? reinterpret_cast<HIMAGELIST>(SendMessageW(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0)) : nullptr;
    frame_ = list_ = nullptr;
    if (frame) DestroyWindow(frame);
    if (icons) ImageList_Destroy(icons);
}

// ---- What the list shows

void ListHelper::ShowRow(LVITEMW& item) {
    if (item.iItem < 0 || size_t(item.iItem) >= records_.size()) return;
    SharedHold hold(recordsLock_);  // details and icons arrive from the worker
    const ListItem& record = records_[size_t(item.iItem)];
    if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0 && item.iSubItem >= 0 && item.iSubItem < 4)
        lstrcpynW(item.pszText, record.texts[item.iSubItem].c_str(), item.cchTextMax);
    if (item.mask & LVIF_IMAGE) item.iImage = record.fileFetched ? 1 : 0;
}

// Typing a name's first letters goes to it.
int ListHelper::FindText(const NMLVFINDITEMW* find) const {
    const LVFINDINFOW& what = find->lvfi;
    if (!(what.flags & (LVFI_STRING | LVFI_PARTIAL)) || !what.psz) return -1;
    size_t length = wcslen(what.psz);
    int count = int(records_.size());
    int start = find->iStart >= 0 && find->iStart < count ? find->iStart : 0;
    for (int k = 0; k < count; ++k) {
        int row = start + k;
        if (row >= count && !(what.flags & LVFI_WRAP)) break;
        if (row >= count) row -= count;
        const wchar_t* shown = records_[size_t(row)].texts[0].c_str();
        if ((what.flags & LVFI_PARTIAL) ? _wcsnicmp(shown, what.psz, length) == 0 : _wcsicmp(shown, what.psz) == 0)
            return row;
    }
    return -1;
}

// The rows on screen, for the worker to fetch first.
void ListHelper::ReadViewport() {
    HWND list = list_;
    if (!list) return;
    int top = int(SendMessageW(list, LVM_GETTOPINDEX, 0, 0));
    int page = int(SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0));
    viewFirst_ = top;
    viewEnd_ = top + page + 1;  // and the one partly shown
}

// The rows the worker changed that are on screen now are drawn again.
void ListHelper::RedrawChangedRows() {
    int first, last;
    {
        std::lock_guard<std::mutex> hold(changedLock_);
        first = std::exchange(changedFirst_, INT_MAX);
        last = std::exchange(changedLast_, -1);
        changedPosted_ = false;
    }
    HWND list = list_;
    if (!list) return;
    int top = int(SendMessageW(list, LVM_GETTOPINDEX, 0, 0));
    int page = int(SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0));
    first = std::max(first, top);
    last = std::min({last, top + page, listCount_ - 1});
    if (first <= last) SendMessageW(list, LVM_REDRAWITEMS, WPARAM(first), LPARAM(last));
}

// ---- The loader's side

int ListHelper::LoaderItemCount() {
    SharedHold hold(recordsLock_);
    return int(records_.size());
}

bool ListHelper::LoaderHasData(int index) {
    SharedHold hold(recordsLock_);
    return size_t(index) < records_.size() && records_[size_t(index)].fileFetched;
}

bool ListHelper::LoaderIsSelected(int index) {
    SharedHold hold(recordsLock_);
    return size_t(index) < records_.size() && records_[size_t(index)].selected;
}

// A new run asks again what the last one gave up on; a wake walks out from the view again.
bool ListHelper::LoaderBeforeSweep() {
    unsigned starts = starts_;
    if (starts != startSeen_) {
        startSeen_ = starts;
        retryLater_.clear();
        retryNow_.clear();
        SharedHold hold(recordsLock_);
        for (ListItem& record : records_) record.detailsWaiting = false;
    }
    selectionSeen_ = ~0u;
    detailsWalk_.origin = filesWalk_.origin = -1;
    return false;
}

bool ListHelper::WantsDetails(int row, const std::vector<bool>&) const {
    const ListItem& record = records_[size_t(row)];
    return !record.detailsDone && !record.detailsWaiting;
}

bool ListHelper::WantsFile(int row, const std::vector<bool>& failed) const {
    const ListItem& record = records_[size_t(row)];
    return !record.fileFetched && record.image && !(size_t(row) < failed.size() && failed[size_t(row)]);
}

// The next row from the walk's origin outward that is wanted; a row stays
// the walk's next until it is no longer wanted.
int ListHelper::NextInWalk(Walk& walk, int origin, int count,
                           bool (ListHelper::*wanted)(int, const std::vector<bool>&) const,
                           const std::vector<bool>& failed) {
    if (walk.origin != origin) walk = {origin, origin, origin - 1};
    while (walk.down < count || walk.up >= 0) {
        for (int* cursor : {&walk.down, &walk.up}) {
            if (*cursor < 0 || *cursor >= count) continue;
            if ((this->*wanted)(*cursor, failed)) return *cursor;
            *cursor += cursor == &walk.down ? 1 : -1;
        }
    }
    return -1;
}

int ListHelper::NextRetry() {
    while (!retryNow_.empty()) {
        int row = retryNow_.back();
        retryNow_.pop_back();
        if (size_t(row) < records_.size() && WantsDetails(row, {})) return row;
    }
    return -1;
}

// Details of the rows in view, files of the selected rows, files in view,
// then details and files outward from the view. Details a busy camera did
// not give are asked again a while later, a bounded number of times.
int ListHelper::LoaderNext(const std::vector<bool>& failed) {
    for (;;) {
        {
            SharedHold hold(recordsLock_);
            int count = int(records_.size());
            int first = std::min(int(viewFirst_), count), end = std::min(int(viewEnd_), count);
            for (int row = first; row < end; ++row)
                if (WantsDetails(row, failed)) return nextIsDetails_ = true, row;
            unsigned changes = selectionChanges_;
            if (changes != selectionSeen_) {
                selectionSeen_ = changes;
                selectedScan_ = 0;
            }
            for (; selectedScan_ < count; ++selectedScan_)
                if (records_[size_t(selectedScan_)].selected && WantsFile(selectedScan_, failed))
                    return nextIsDetails_ = false, selectedScan_;
            for (int row = first; row < end; ++row)
                if (WantsFile(row, failed)) return nextIsDetails_ = false, row;
            int row = NextInWalk(detailsWalk_, first, count, &ListHelper::WantsDetails, failed);
            if (row < 0) row = NextRetry();
            if (row >= 0) return nextIsDetails_ = true, row;
            row = NextInWalk(filesWalk_, first, count, &ListHelper::WantsFile, failed);
            if (row >= 0) return nextIsDetails_ = false, row;
            if (retryLater_.empty()) return -1;
        }
        for (DWORD waited = 0; waited < kInfoPause && !loader_.StopRequested(); waited += kPauseSlice)
            Sleep(kPauseSlice);
        if (loader_.StopRequested()) return -1;
        retryNow_.swap(retryLater_);
        retryLater_.clear();
        SharedHold hold(recordsLock_);
        for (int row : retryNow_) records_[size_t(row)].detailsWaiting = false;
    }
}

bool ListHelper::LoaderFetch(int index) { return nextIsDetails_ ? FetchDetails(index) : FetchFile(index); }

bool ListHelper::FetchDetails(int row) {
    CameraImage* image;
    {
        SharedHold hold(recordsLock_);
        image = records_[size_t(row)].image;
    }
    ImageInfo info = {};
    bool got = image && image->GetInfo(&info);
    std::wstring texts[4];
    if (got) {
        if (info.mask & kInfoSize) texts[1] = Widen(FormatFileSize(info.fileSize));
        if (info.mask & kInfoDate) texts[2] = Field(info.captureDate, sizeof info.captureDate);
        if ((info.mask & kInfoDimensions) || !(info.mask & kInfoNoDimensions))
            texts[3] = Widen(FormatImageSize(info.width, info.height));
    }
    {
        ExclusiveHold hold(recordsLock_);
        ListItem& record = records_[size_t(row)];
        if (got) {
            for (int column = 1; column < 4; ++column) record.texts[column] = std::move(texts[column]);
            record.detailsDone = true;
        } else {
            record.detailsWaiting = true;
            if (++record.infoTries < kInfoTries) retryLater_.push_back(row);
        }
    }
    if (got) RowChanged(row);
    return true;
}

// The file of a row; the path is not kept and the file is never deleted here.
bool ListHelper::FetchFile(int row) {
    CameraImage* image;
    {
        SharedHold hold(recordsLock_);
        image = records_[size_t(row)].image;
    }
    char path[260] = {};
    int deleteWhenDone = 0;
    if (!image || image->ReadToFile(path, sizeof path, 0, &deleteWhenDone, ItemLoader::KeepGoing,
                                    ItemLoader::OfThisThread()) != kReadOk)
        return false;
    {
        ExclusiveHold hold(recordsLock_);
        records_[size_t(row)].fileFetched = true;
    }
    RowChanged(row);
    return true;
}

// Posted, never sent: a stop waiting for this worker handles only sent messages.
void ListHelper::RowChanged(int row) {
    HWND frame = frame_;
    std::lock_guard<std::mutex> hold(changedLock_);
    changedFirst_ = std::min(changedFirst_, row);
    changedLast_ = std::max(changedLast_, row);
    if (!changedPosted_ && frame) changedPosted_ = PostMessageW(frame, kRowsChanged, 0, 0) != FALSE;
}

// ---- Window

int ListHelper::HitTest() const {
    DWORD position = GetMessagePos();
    LVHITTESTINFO hit = {};
    hit.pt = {short(LOWORD(position)), short(HIWORD(position))};
    HWND list = list_;
    ScreenToClient(list, &hit.pt);
    return int(SendMessageW(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
}

void ListHelper::OnSelectionChange(const NMLISTVIEW* change) {
    if (change->iItem < 0) {  // every row at once
        if ((change->uNewState ^ change->uOldState) & LVIS_SELECTED)
            OnRangeChange(0, GetItemCount() - 1, change->uNewState & LVIS_SELECTED);
        return;
    }
    if (!(change->uChanged & LVIF_STATE) || change->iItem >= GetItemCount()) return;
    bool now = change->uNewState & LVIS_SELECTED, before = change->uOldState & LVIS_SELECTED;
    if (now == before) return;
    MarkSelected(size_t(change->iItem), now);
    if (sink_) sink_->SelectionChanged(NameAt(change->iItem), now ? 1 : 0, change->iItem);
}

void ListHelper::OnRangeChange(int from, int to, bool selected) {
    for (int row = std::max(0, from); row <= std::min(to, GetItemCount() - 1); ++row)
        MarkSelected(size_t(row), selected);
    if (sink_) sink_->SelectionChanged(nullptr, 0, 0);
}

LRESULT ListHelper::OnNotify(NMHDR* header) {
    switch (header->code) {
        case LVN_GETDISPINFOW:
            ShowRow(reinterpret_cast<NMLVDISPINFOW*>(header)->item);
            break;
        case LVN_ODCACHEHINT:  // the list is about to paint: it may have scrolled
            ReadViewport();
            break;
        case LVN_ODFINDITEMW:
            return FindText(reinterpret_cast<const NMLVFINDITEMW*>(header));
        case LVN_ITEMCHANGED:
            if (!quiet_) OnSelectionChange(reinterpret_cast<const NMLISTVIEW*>(header));
            break;
        case LVN_ODSTATECHANGED: {
            auto* change = reinterpret_cast<const NMLVODSTATECHANGE*>(header);
            if (!quiet_ && ((change->uNewState ^ change->uOldState) & LVIS_SELECTED))
                OnRangeChange(change->iFrom, change->iTo, change->uNewState & LVIS_SELECTED);
            break;
        }
        case NM_CLICK:
            if (const char* name = NameAt(HitTest())) {
                if (sink_) sink_->ItemClicked(0, name);
            }
            break;
        case NM_RCLICK: {
            const char* name = NameAt(HitTest());
            if (sink_) sink_->ContextMenuRequested(0, name ? name : "");
            rightClickReported_ = true;
            break;
        }
        case NM_DBLCLK:
            if (const char* name = NameAt(HitTest())) {
                if (sink_) sink_->ItemOpened(0, name);
            }
            break;
        case LVN_BEGINDRAG:
            if (sink_) sink_->BeginDrag();
            break;
        default:
            break;
    }
    return 0;
}

LRESULT CALLBACK ListHelper::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* helper = reinterpret_cast<ListHelper*>(GetWindowLongPtrW(window, kObjectOffset));
    if (!helper) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
        case WM_SIZE:
            if (HWND list = ::GetWindow(window, GW_CHILD))
                MoveWindow(list, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
            helper->ReadViewport();
            break;
        case WM_SETFOCUS:
            if (HWND list = ::GetWindow(window, GW_CHILD)) SetFocus(list);
            return 0;
        case WM_NOTIFYFORMAT:
            return NFR_UNICODE;
        case WM_NOTIFY:
            return helper->OnNotify(reinterpret_cast<NMHDR*>(lParam));
        case WM_TIMER:
            if (wParam != kCountTimer) break;
            helper->FlushCount();
            return 0;
        case kFlushNow:
            helper->FlushCount();
            return 0;
        case kRowsChanged:
            helper->RedrawChangedRows();
            return 0;
        case WM_CONTEXTMENU: {
            if (helper->rightClickReported_) {
                helper->rightClickReported_ = false;
                return 0;
            }
            if (!helper->sink_) return 0;
            const char* name = helper->NameAt(helper->HitTest());
            helper->sink_->ContextMenuRequested(0, name ? name : "");
            return 0;
        }
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
