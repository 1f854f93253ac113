#include "platform/dbus/menu.h"

#include <algorithm>

namespace hp::platform::dbus {

std::string escape_mnemonics(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        out += c;
        if (c == '_') out += '_';
    }
    return out;
}

const MenuNode* find_node(const MenuNode& root, std::int32_t id) {
    if (root.id == id) return &root;
    for (const auto& child : root.children)
        if (const MenuNode* found = find_node(child, id)) return found;
    return nullptr;
}

namespace {

MenuNode cut(const MenuNode& node, int depth) {
    MenuNode out = node;
    out.children.clear();
    if (depth == 0) return out;
    for (const auto& child : node.children) out.children.push_back(cut(child, depth < 0 ? -1 : depth - 1));
    return out;
}

}  // namespace

std::optional<MenuNode> layout_subtree(const MenuNode& root, std::int32_t parentId, int depth) {
    const MenuNode* node = find_node(root, parentId);
    if (!node) return std::nullopt;
    return cut(*node, depth < 0 ? -1 : depth);
}

std::vector<MenuProperty> menu_properties(const MenuNode& node, const std::vector<std::string>& names) {
    using K = MenuProperty::Kind;
    std::vector<MenuProperty> all;
    if (node.type == MenuNode::Type::Separator) {
        all.push_back({"type", K::String, "separator", false, 0});
    } else {
        all.push_back({"label", K::String, node.label, false, 0});
    }
    if (!node.enabled) all.push_back({"enabled", K::Bool, {}, false, 0});
    if (node.checkmark) {
        all.push_back({"toggle-type", K::String, "checkmark", false, 0});
        all.push_back({"toggle-state", K::Int32, {}, false, node.toggled ? 1 : 0});
    }
    if (node.submenu) all.push_back({"children-display", K::String, "submenu", false, 0});
    if (names.empty()) return all;
    std::erase_if(all, [&](const MenuProperty& p) {
        return std::find(names.begin(), names.end(), p.name) == names.end();
    });
    return all;
}

}  // namespace hp::platform::dbus
