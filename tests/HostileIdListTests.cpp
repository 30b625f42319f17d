// ID lists a hostile or buggy caller could pass, through every folder entry point that takes one: a table
// of telling cases with what the folders must answer, and generated lists, random and mutated from the
// folders' own. Each list ends at a guard page, so reading one byte past it crashes the run.
// ORVEX_FUZZ_LISTS sets how many are generated (make soak runs 100,000); ORVEX_FUZZ_SEED replays a run.
#include <gtest/gtest.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstring>
#include <algorithm>
#include <array>
#include <memory>
#include <random>

#include "support/CoreFixture.h"
#include "support/IdLists.h"
#include "support/TestCard.h"
#include "support/UserActions.h"

namespace {

// `bytes` as a list whose last byte is the last readable one before a guard page (x86-64's pages are 4 KB): reading
// one byte past it crashes the test. Null for no bytes.
std::shared_ptr<const ITEMIDLIST> Guarded(const std::vector<BYTE>& bytes) {
    if (bytes.empty()) return nullptr;
    constexpr size_t kPage = 4096;
    size_t guard = (bytes.size() + kPage - 1) / kPage * kPage;
    auto* base = static_cast<BYTE*>(VirtualAlloc(nullptr, guard + kPage, MEM_COMMIT, PAGE_READWRITE));
    DWORD old;
    VirtualProtect(base + guard, kPage, PAGE_NOACCESS, &old);
    BYTE* data = base + guard - bytes.size();
    memcpy(data, bytes.data(), bytes.size());
    auto release = [base](LPCITEMIDLIST) { VirtualFree(base, 0, MEM_RELEASE); };
    return {reinterpret_cast<LPCITEMIDLIST>(data), release};
}

using Items = std::vector<std::vector<BYTE>>;  // each item's bytes after its size field

std::vector<BYTE> Serialize(const Items& items) {
    std::vector<BYTE> bytes;
    for (const auto& item : items) {
        size_t cb = std::min<size_t>(item.size() + 2, 0xFFFF);
        bytes.insert(bytes.end(), {BYTE(cb & 0xFF), BYTE(cb >> 8)});
        bytes.insert(bytes.end(), item.begin(), item.begin() + long(cb - 2));
    }
    bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

Items Parse(LPCITEMIDLIST list) {
    Items items;
    auto* at = reinterpret_cast<const BYTE*>(list);
    for (USHORT cb; (cb = USHORT(at[0] | at[1] << 8)) >= 2; at += cb) items.emplace_back(at + 2, at + cb);
    return items;
}

// Whether the size fields lead to a terminator inside the bytes, as every caller of a folder guarantees.
bool Chains(const std::vector<BYTE>& b) {
    size_t at = 0;
    while (at + 2 <= b.size() && (b[at] | b[at + 1] << 8) >= 2) at += size_t(b[at] | b[at + 1] << 8);
    return at + 2 <= b.size() && b[at] == 0 && b[at + 1] == 0;
}

// The root, a source and a camera folder on a test card, each with a child list of its own.
class ListWalk : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        auto* source = new SourceFolder("Local");
        auto* camera = new CameraFolder(source, "100TEST");
        folders_ = {InitializedRoot(), ComRef<IShellFolder>::Share(source), ComRef<IShellFolder>::Share(camera)};
        ASSERT_TRUE((camera->Connect(true), camera->IsConnected()));
        for (auto& folder : folders_) {
            size_t first = seeds_.size();
            ComRef<IEnumIDList> children;
            folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, children.Put());
            for (LPITEMIDLIST child; children && children->Next(1, &child, nullptr) == S_OK; CoTaskMemFree(child))
                seeds_.push_back(Parse(child));
            // A camera folder lists its pictures in its view only: one of them by name.
            if (seeds_.size() == first) seeds_.push_back(Parse(AsList(ListBytes({"IMG_0002.JPG"}))));
            own_.push_back(Serialize(seeds_[first]));
        }
        seeds_.push_back(Parse(AsList(ListBytes({"Removable Media", "100TEST"}))));
    }
    void TearDown() override { folders_.clear(), CoreTest::TearDown(); }

    // Everything every folder does with a list it is given, alone and after one of its own, and a new
    // root's initialization; empty bytes are a null list. Objects that come back are released at once.
    void WalkAll(const std::vector<BYTE>& bytes) {
        std::shared_ptr<const ITEMIDLIST> guarded = Guarded(bytes);
        LPCITEMIDLIST list = guarded.get();
        char text[MAX_PATH];
        for (size_t f = 0; f < folders_.size(); ++f) {
            IShellFolder* folder = folders_[f].Get();
            LPCITEMIDLIST real = AsList(own_[f]), pair[] = {real, list};
            for (UINT n : {1u, 2u}) {
                SFGAOF attributes = n == 1 ? 0xFFFFFFFF : SFGAO_FOLDER | SFGAO_CANCOPY;
                folder->GetAttributesOf(n, pair + 2 - n, &attributes);
                for (REFIID iid : {IID_IExtractIconA, IID_IContextMenu, IID_IDataObject, IID_IDropTarget})
                    folder->GetUIObjectOf(nullptr, n, pair + 2 - n, iid, nullptr, ComRef<IUnknown>().PutVoid());
            }
            for (DWORD flags : {0x0, 0x1, 0x8000, 0x8001})  // normal, in folder, for parsing, both
                if (STRRET name = {}; folder->GetDisplayNameOf(list, flags, &name) == S_OK) StrRetToBufA(&name, list, text, sizeof text);
            for (LPARAM column : {0, 1, 2, 3})
                folder->CompareIDs(column, list, list), folder->CompareIDs(column, list, real),
                    folder->CompareIDs(column, real, list);
            if (ComRef<IShellFolder> bound; folder->BindToObject(list, nullptr, IID_IShellFolder, bound.PutVoid()) == S_OK)
                bound->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, ComRef<IEnumIDList>().Put());
            folder->BindToStorage(list, nullptr, IID_IStream, ComRef<IStream>().PutVoid());
            LPITEMIDLIST renamed = nullptr;
            if (folder->SetNameOf(nullptr, list, L"renamed", SHGDN_NORMAL, &renamed) == S_OK) CoTaskMemFree(renamed);
        }
        ComRef<IPersistFolder> persist;
        NewRoot()->QueryInterface(IID_IPersistFolder, persist.PutVoid());
        persist->Initialize(list);
    }

    TestCard card_;
    CardModelKeys keys_{card_.Root()};
    std::vector<ComRef<IShellFolder>> folders_;
    std::vector<Items> seeds_;
    std::vector<std::vector<BYTE>> own_;
};

// An item named `head` (none for ""), then `bytes`, then `filler` x's.
std::vector<BYTE> Bytes(const std::string& head, std::initializer_list<int> bytes, size_t filler = 0) {
    std::vector<BYTE> out = ListBytes({head});
    out.resize(head.empty() ? 0 : out.size() - 2);
    out.insert(out.end(), bytes.begin(), bytes.end());
    out.resize(out.size() + filler, 'x');
    return out;
}

struct HostileCase {
    const char* what;
    std::vector<BYTE> bytes;  // empty: a null list
    bool wellFormed, namesChild = false, binds = false;  // the module's layout; names a root child; a source binds it
};

void PrintTo(const HostileCase& c, std::ostream* out) { *out << c.what; }

const HostileCase kCases[] = {
    {"NullList", {}, false},
    {"TerminatorOnly", Bytes("", {0, 0}), false},
    {"CbOf1", Bytes("", {1, 0}), false},
    {"CbOf3", Bytes("", {3, 0, 0x29}), false},
    {"CbOf3BeforeAName", Bytes("", {3, 0, 0x29, 'H', 'a', 0, 0}), false},
    {"NameWithoutItsZeroByte", Bytes("", {8, 0, 0x29, 'A', 'B', 'C', 'D', 'E'}), false},
    {"ForeignKind", Bytes("", {6, 0, 0x31, 'A', 'B', 0, 0, 0}), false},
    {"CbPastTheLongestName", Bytes("", {0x04, 0x01, 0x29}, 20), false},
    {"CbOf0xFFFF", Bytes("", {0xFF, 0xFF}, 8), false},
    {"NameOf256Characters", ListBytes({std::string(256, 'n')}), false},
    {"ChildFollowedByATruncatedItem", Bytes("Digital Camera", {1, 0}), false, true},
    {"ChildFollowedByAnOversizedItem", Bytes("Removable Media", {0x00, 0x40, 0x29, 'y'}), false, true},
    {"NameOf255Characters", ListBytes({std::string(255, 'n')}), true, false, true},
    {"200Items", ListBytes(std::vector<std::string>(200, "A")), true},
    {"WrongLetterCase", ListBytes({"DIGITAL CAMERA"}), true, false, true},
};

class HostileIdLists : public ListWalk, public testing::WithParamInterface<HostileCase> {};

// A child is named by a list's first item; the rest must be the module's too.
TEST_P(HostileIdLists, NoFolderReadsPastThemOrTakesThemForItsOwn) {
    const HostileCase& c = GetParam();
    if (c.bytes.empty() || Chains(c.bytes)) WalkAll(c.bytes);
    std::shared_ptr<const ITEMIDLIST> guarded = Guarded(c.bytes);
    LPCITEMIDLIST item = guarded.get();
    IShellFolder *root = folders_[0].Get(), *source = folders_[1].Get();
    SFGAOF attributes = ~0u;
    EXPECT_EQ(root->GetAttributesOf(1, &item, &attributes), c.namesChild ? S_OK : E_INVALIDARG);
    EXPECT_EQ(attributes, c.namesChild ? 0xA8000000u : ~0u);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_TRUE(FAILED(root->BindToObject(item, nullptr, IID_IShellFolder, &out)));
    EXPECT_EQ(out, nullptr);
    for (IShellFolder* folder : {root, source}) {
        for (SHGDNF flags : {SHGDN_NORMAL, SHGDN_INFOLDER}) {
            STRRET name = {};
            EXPECT_EQ(folder->GetDisplayNameOf(item, flags, &name), c.wellFormed ? S_OK : E_INVALIDARG);
            if (c.wellFormed) StrRetText(item, name);
        }
    }
    EXPECT_TRUE(c.namesChild || root->CompareIDs(0, item, AsList(ListBytes({"Digital Camera"}))) != 0);
    ComRef<IShellFolder> bound;
    source->BindToObject(item, nullptr, IID_IShellFolder, bound.PutVoid());
    EXPECT_EQ(bool(bound), c.binds);
}

INSTANTIATE_TEST_SUITE_P(Table, HostileIdLists, testing::ValuesIn(kCases));

using IdListFuzz = ListWalk;

// Lists that chain, with anything in them: random items, or the folders' own
// lists with bytes and items changed, added and cut.
TEST_F(IdListFuzz, NoListCrashesOrReadsPastItsEnd) {
    unsigned seed = EnvNumber("ORVEX_FUZZ_SEED", std::random_device{}()), count = EnvNumber("ORVEX_FUZZ_LISTS", 10000);
    std::printf("ID list fuzz: %u lists, seed %u (ORVEX_FUZZ_SEED=%u replays it)\n", count, seed, seed);
    std::mt19937 random(seed);
    auto pick = [&](size_t n) { return n ? size_t(random() % n) : 0; };
    auto anyByte = [&] {
        return pick(3) ? BYTE(random()) : std::array<BYTE, 12>{0, 1, 2, 0xFF, 0x7F, 0x80, '\\', '.', ':', '/', 'A', 'z'}[pick(12)];
    };
    auto anyItem = [&] {  // up to around the longest name, or far beyond
        std::vector<BYTE> item(std::array{size_t(0), 250 + pick(20), 300 + pick(800), pick(24), pick(24), pick(24)}[pick(6)]);
        return std::generate(item.begin(), item.end(), anyByte), item;
    };
    for (unsigned i = 0; i < count; ++i) {
        Items items = seeds_[pick(seeds_.size())];
        if (pick(3) == 0)  // or random items
            for (auto& item : items = Items(1 + pick(pick(4) == 0 ? 12 : 3))) item = anyItem();
        for (size_t n = pick(5); n > 0; --n) {
            if (items.empty()) items.push_back({});
            auto& item = items[pick(items.size())];
            switch (pick(8)) {
                case 0: if (!item.empty()) item[pick(item.size())] = anyByte(); break;
                case 1: item.resize(pick(item.size() + 1)); break;  // cut short
                case 2: item.insert(item.end(), 1 + pick(300), anyByte()); break;
                case 3: if (!item.empty()) item.back() = anyByte(); break;  // loses its zero
                case 4: items.push_back(seeds_[pick(seeds_.size())].front()); break;
                case 5: items.insert(items.begin(), anyItem()); break;
                case 6: items.erase(items.begin() + long(pick(items.size()))); break;
                default: item.insert(item.begin() + long(pick(item.size() + 1)), anyByte());
            }
        }
        DWORD start = GetTickCount();
        WalkAll(pick(120) == 0 ? std::vector<BYTE>{} : Serialize(items));
        EXPECT_LT(GetTickCount() - start, 10000u) << "list " << i << " of seed " << seed;  // no waiting on a driver or a box
    }
}

}  // namespace
