#pragma once
// Names of the module's folders as the shell asks for them: parsing paths
// below a folder and the display names of (possibly multi-level) lists.
#include <shlobj.h>

#include <functional>
#include <string>
#include <vector>

// The one-item list of the child named `name` (compared without case), or null.
using ChildFinder = std::function<LPITEMIDLIST(const std::wstring& name)>;

// Resolves `path` ("child" or "child\rest") below `folder`: the child's own
// folder parses the rest. Fills `eaten` and, when asked, the attributes the
// deepest folder gives the last item.
HRESULT ParseChildPath(IShellFolder* folder, LPCWSTR path, const ChildFinder& findChild, ULONG* eaten,
                       PIDLIST_RELATIVE* ppidl, ULONG* attributes);

// The names of every item of `list`; false when one is not the module's.
bool ItemNames(PCUIDLIST_RELATIVE list, std::vector<std::string>& names);

// The display name of `list` below the folder placed at `place`: the full
// parsing path (which the shell does not prefix) for the parsing form outside
// the folder, else the last item's name.
HRESULT ItemDisplayName(PCUIDLIST_RELATIVE list, SHGDNF flags, PCIDLIST_ABSOLUTE place, STRRET* name);

// The parsing path of an absolute list made of the shell's GUID items and the
// module's own ("::{...}\\::{...}\\name"); empty for any other list.
std::wstring ParsingPathOf(PCIDLIST_ABSOLUTE absolute);

// CompareIDs' answer for the module's list order.
HRESULT CompareItemLists(PCUIDLIST_RELATIVE first, PCUIDLIST_RELATIVE second);

// Whether two names are equal apart from case.
bool SameName(const std::wstring& a, const std::wstring& b);
