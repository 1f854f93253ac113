#pragma once
// A menu as com.canonical.dbusmenu exports it: a tree of items, each with an
// id that is unique in the tree (0 is the root), and the properties the
// protocol names. Building and cutting the tree needs no bus.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hp::platform::dbus {

struct MenuNode {
    enum class Type { Standard, Separator };
    std::int32_t id = 0;
    Type type = Type::Standard;
    std::string label;       // with mnemonics: "_" marks the access key, "__" is an underscore
    bool enabled = true;
    bool checkmark = false;  // toggle-type "checkmark"
    bool toggled = false;    // its toggle-state
    bool submenu = false;    // children-display "submenu"
    std::vector<MenuNode> children;
    friend bool operator==(const MenuNode&, const MenuNode&) = default;
};

// Text shown as it is: every underscore doubled.
std::string escape_mnemonics(std::string_view text);

// The node with `id`, if the tree has one.
const MenuNode* find_node(const MenuNode& root, std::int32_t id);

// The subtree GetLayout answers for (parentId, recursionDepth): the node
// `parentId` with its children down to `depth` levels (-1: all, 0: the node
// alone); nothing when the tree has no such node.
std::optional<MenuNode> layout_subtree(const MenuNode& root, std::int32_t parentId, int depth);

// One property of a node as the protocol sends it, only where it differs
// from the protocol's default (so absent otherwise).
struct MenuProperty {
    enum class Kind { String, Bool, Int32 };
    std::string name;
    Kind kind = Kind::String;
    std::string text;
    bool flag = false;
    std::int32_t number = 0;
    friend bool operator==(const MenuProperty&, const MenuProperty&) = default;
};
// Filtered by `names` unless it is empty.
std::vector<MenuProperty> menu_properties(const MenuNode& node, const std::vector<std::string>& names = {});

}  // namespace hp::platform::dbus
