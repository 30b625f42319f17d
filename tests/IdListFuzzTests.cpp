// Generated ID lists, random and mutated from the folders' own, through every
// folder entry point that takes one. Each list ends at a guard page, so a
// read past it crashes the run. ORVEX_FUZZ_LISTS sets how many (make soak
// runs 100,000); ORVEX_FUZZ_SEED replays a run.
#include <gtest/gtest.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstdlib>
#include <random>

#include "camera/ConfigStore.h"
#include "server/CameraFolder.h"
#include "server/SourceFolder.h"
#include "support/CardModel.h"
#include "support/CoreFixture.h"
#include "support/GuardedBytes.h"
#include "support/ScopedRegistry.h"
#include "support/TestCard.h"
#include "support/TestPaths.h"

namespace {

unsigned EnvNumber(const char* name, unsigned fallback) {
    const char* text = getenv(name);
    return text && *text ? unsigned(strtoul(text, nullptr, 10)) : fallback;
}

// Items of a list, each its bytes after the size field.
using Items = std::vector<std::vector<BYTE>>;

std::vector<BYTE> Serialize(const Items& items) {
    std::vector<BYTE> bytes;
    for (const auto& item : items) {
        size_t cb = std::min<size_t>(item.size() + 2, 0xFFFF);
        bytes.push_back(BYTE(cb & 0xFF));
        bytes.push_back(BYTE(cb >> 8));
        bytes.insert(bytes.end(), item.begin(), item.begin() + long(cb - 2));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

Items Parse(LPCITEMIDLIST list) {
    Items items;
    auto* at = reinterpret_cast<const BYTE*>(list);
    for (USHORT cb; (cb = USHORT(at[0] | at[1] << 8)) >= 2; at += cb) items.emplace_back(at + 2, at + cb);
    return items;
}

// Makes lists whose size fields chain to a terminator inside them (the one
// thing every caller of a folder guarantees) and whose contents are anything.
class ListMaker {
public:
    ListMaker(unsigned seed, std::vector<Items> seeds) : random_(seed), seeds_(std::move(seeds)) {}

    // Empty: a null list.
    std::vector<BYTE> Next() {
        switch (Pick(6)) {
            case 0: return Pick(20) == 0 ? std::vector<BYTE>{} : Serialize(RandomItems());
            case 1: return RawChain();
            default: return Serialize(Mutated());
        }
    }

private:
    unsigned Pick(unsigned count) { return unsigned(random_() % count); }
    BYTE AnyByte() {
        static const BYTE kTelling[] = {0, 1, 2, 0xFF, 0x7F, 0x80, '\\', '.', ':', '/', 'A', 'z'};
        return Pick(3) == 0 ? kTelling[Pick(sizeof kTelling)] : BYTE(random_());
    }
    std::vector<BYTE> RandomBytes(size_t size) {
        std::vector<BYTE> bytes(size);
        for (BYTE& b : bytes) b = AnyByte();
        return bytes;
    }
    size_t AnySize() {
        switch (Pick(8)) {
            case 0: return 0;
            case 1: return 250 + Pick(20);  // around the longest name
            case 2: return 300 + Pick(800);
            default: return Pick(24);
        }
    }
    Items RandomItems() {
        Items items(1 + Pick(Pick(4) == 0 ? 12 : 3));
        for (auto& item : items) item = RandomBytes(AnySize());
        return items;
    }
    // Random bytes with the size fields repaired so that they chain to a terminator.
    std::vector<BYTE> RawChain() {
        std::vector<BYTE> bytes = RandomBytes(2 + Pick(64));
        size_t at = 0;
        while (at + 2 <= bytes.size()) {
            USHORT cb = USHORT(bytes[at] | bytes[at + 1] << 8);
            if (cb == 0) break;
            // Items of one byte would overlap the next size field (the
            // hostile table has those); too long ones end at the terminator.
            if (cb < 2 || at + cb + 2 > bytes.size()) {
                cb = USHORT(std::max<size_t>(std::min<size_t>(std::max<size_t>(cb, 2), bytes.size() - at - 2), 2));
                bytes[at] = BYTE(cb & 0xFF);
                bytes[at + 1] = BYTE(cb >> 8);
            }
            at += cb;
        }
        bytes.resize(std::min(at, bytes.size()));
        bytes.push_back(0);
        bytes.push_back(0);
        return bytes;
    }
    Items Mutated() {
        Items items = seeds_[Pick(unsigned(seeds_.size()))];
        for (unsigned n = 1 + Pick(4); n > 0; --n) {
            if (items.empty()) items.push_back({});
            auto& item = items[Pick(unsigned(items.size()))];
            switch (Pick(8)) {
                case 0: if (!item.empty()) item[Pick(unsigned(item.size()))] = AnyByte(); break;
                case 1: item.resize(Pick(unsigned(item.size() + 1))); break;  // cut short
                case 2: item.insert(item.end(), 1 + Pick(300), AnyByte()); break;
                case 3: if (!item.empty()) item.back() = AnyByte(); break;  // lose the zero
                case 4: items.push_back(seeds_[Pick(unsigned(seeds_.size()))].front()); break;
                case 5: items.insert(items.begin(), RandomBytes(AnySize())); break;
                case 6: items.erase(items.begin() + Pick(unsigned(items.size()))); break;
                default: if (!item.empty()) item.insert(item.begin() + Pick(unsigned(item.size())), AnyByte());
            }
        }
        return items;
    }

    std::mt19937 random_;
    std::vector<Items> seeds_;
};

class IdListFuzz : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        keys_ = std::make_unique<CardModelKeys>(card_.Root());
        ComRef<IShellFolder> root = InitializedRoot();
        folders_.push_back(root);
        auto* source = new SourceFolder("Local");
        folders_.push_back(ComRef<IShellFolder>::Share(source));
        auto* camera = new CameraFolder(source, "100TEST");
        folders_.push_back(ComRef<IShellFolder>::Share(camera));
        camera->Connect(true);
        ASSERT_TRUE(camera->IsConnected());
    }
    void TearDown() override {
        folders_.clear();
        keys_.reset();
        CoreTest::TearDown();
    }

    // Every child list each folder enumerates (the first of each kept as the
    // folder's own), and the two levels below the root.
    std::vector<Items> RealLists() {
        std::vector<Items> lists;
        for (auto& folder : folders_) {
            ComRef<IEnumIDList> children;
            folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, children.Put());
            LPITEMIDLIST child = nullptr;
            while (children && children->Next(1, &child, nullptr) == S_OK) {
                if (firstChildren_.size() < size_t(&folder - folders_.data()) + 1)
                    firstChildren_.push_back(Serialize(Parse(child)));
                lists.push_back(Parse(child));
                CoTaskMemFree(child);
            }
            // A camera folder lists its pictures in its view only: one of them by name.
            if (firstChildren_.size() < size_t(&folder - folders_.data()) + 1) {
                lists.push_back(Parse(IdListHolder("IMG_0002.JPG").List()));
                firstChildren_.push_back(Serialize(lists.back()));
            }
        }
        lists.push_back({Parse(IdListHolder("Removable Media").List()).front(), Parse(IdListHolder("100TEST").List()).front()});
        return lists;
    }

    // Everything a folder does with a list it is given; what comes back is used as a caller would.
    static void Exercise(IShellFolder* folder, LPCITEMIDLIST list, LPCITEMIDLIST real) {
        SFGAOF attributes = 0xFFFFFFFF;
        folder->GetAttributesOf(1, &list, &attributes);
        LPCITEMIDLIST pair[] = {real, list};
        attributes = SFGAO_FOLDER | SFGAO_CANCOPY;
        folder->GetAttributesOf(2, pair, &attributes);
        for (DWORD flags : {DWORD(SHGDN_NORMAL), DWORD(SHGDN_INFOLDER), DWORD(SHGDN_FORPARSING),
                            DWORD(SHGDN_INFOLDER | SHGDN_FORPARSING)}) {
            STRRET name = {};
            char text[MAX_PATH];
            if (folder->GetDisplayNameOf(list, flags, &name) == S_OK)
                StrRetToBufA(&name, const_cast<LPITEMIDLIST>(list), text, sizeof text);
        }
        for (LPARAM column : {0, 1, 2, 3}) {
            folder->CompareIDs(column, list, list);
            folder->CompareIDs(column, list, real);
            folder->CompareIDs(column, real, list);
        }
        ComRef<IShellFolder> bound;
        if (folder->BindToObject(list, nullptr, IID_IShellFolder, bound.PutVoid()) == S_OK) {
            ComRef<IEnumIDList> children;
            bound->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, children.Put());
        }
        ComRef<IStream> stream;
        folder->BindToStorage(list, nullptr, IID_IStream, stream.PutVoid());
        ComRef<IExtractIconA> icon;
        if (folder->GetUIObjectOf(nullptr, 1, &list, IID_IExtractIconA, nullptr, icon.PutVoid()) == S_OK) {
            char path[MAX_PATH];
            int index = 0;
            UINT flags = 0;
            icon->GetIconLocation(0, path, MAX_PATH, &index, &flags);
        }
        ComRef<IContextMenu> menu;
        if (folder->GetUIObjectOf(nullptr, 1, &list, IID_IContextMenu, nullptr, menu.PutVoid()) == S_OK) {
            HMENU popup = CreatePopupMenu();
            menu->QueryContextMenu(popup, 0, 1, 0x7FFF, CMF_NORMAL);
            DestroyMenu(popup);
        }
        ComRef<IDataObject> data;
        if (folder->GetUIObjectOf(nullptr, 2, pair, IID_IDataObject, nullptr, data.PutVoid()) == S_OK) {
            ComRef<IEnumFORMATETC> formats;
            data->EnumFormatEtc(DATADIR_GET, formats.Put());
        }
        ComRef<IDropTarget> target;
        folder->GetUIObjectOf(nullptr, 1, &list, IID_IDropTarget, nullptr, target.PutVoid());
        LPITEMIDLIST renamed = nullptr;
        if (folder->SetNameOf(nullptr, list, L"renamed", SHGDN_NORMAL, &renamed) == S_OK) CoTaskMemFree(renamed);
    }

    TestCard card_;
    std::unique_ptr<CardModelKeys> keys_;
    std::vector<ComRef<IShellFolder>> folders_;
    std::vector<std::vector<BYTE>> firstChildren_;
};

TEST_F(IdListFuzz, NoListCrashesOrReadsPastItsEnd) {
    unsigned seed = EnvNumber("ORVEX_FUZZ_SEED", std::random_device{}());
    unsigned count = EnvNumber("ORVEX_FUZZ_LISTS", 10000);
    std::printf("ID list fuzz: %u lists, seed %u (ORVEX_FUZZ_SEED=%u replays it)\n", count, seed, seed);
    std::vector<Items> seeds = RealLists();
    ASSERT_GE(seeds.size(), 6u);
    ASSERT_EQ(firstChildren_.size(), folders_.size());
    ListMaker maker(seed, seeds);
    ComRef<IShellFolder> fresh = NewRoot();
    ComRef<IPersistFolder> persist;
    fresh->QueryInterface(IID_IPersistFolder, persist.PutVoid());
    for (unsigned i = 0; i < count; ++i) {
        std::vector<BYTE> bytes = maker.Next();
        std::unique_ptr<GuardedBytes> guarded = bytes.empty() ? nullptr : std::make_unique<GuardedBytes>(bytes);
        LPCITEMIDLIST list = guarded ? guarded->List() : nullptr;
        DWORD start = GetTickCount();
        for (size_t f = 0; f < folders_.size(); ++f)
            Exercise(folders_[f].Get(), list, reinterpret_cast<LPCITEMIDLIST>(firstChildren_[f].data()));
        persist->Initialize(list);
        // A list must never make a folder wait (on a driver, a dialog, a lock).
        EXPECT_LT(GetTickCount() - start, 2000u) << "list " << i << " of seed " << seed;
    }
    std::printf("ID list fuzz: %u lists through %zu folders, no crash\n", count, folders_.size());
}

}  // namespace
