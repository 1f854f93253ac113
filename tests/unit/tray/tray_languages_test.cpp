// The tray's menu and tooltip in the user's language; names and addresses
// as they are.
#include <gtest/gtest.h>

#include "base/utf8.h"
#include "tray/tray_model.h"

namespace hp::tray {
namespace {

using text_catalogue::Catalogue;
using text_catalogue::Language;

TrayView view_with_devices() {
    TrayView v;
    v.hostName = "DESKTOP-1";
    v.network.lan = {*IpAddress::parse("192.168.1.20")};
    v.vigemFound = true;
    v.host.mapping = pad_mapping::defaultMapping();
    v.host.devices = {{"id-a", "Pixel", true}};
    v.host.controllingDevice = "Pixel";
    v.host.controllerOn = true;
    return v;
}

TEST(TrayLanguages, MenuInGermanAndJapanese) {
    const TrayView v = view_with_devices();
    const Menu german = build_menu(v, Catalogue(Language::German));
    const auto text = [](const Menu& m, std::size_t i) { return m.items[i].text; };
    EXPECT_EQ(text(german, 0), "Hearthpad \u2014 DESKTOP-1");
    EXPECT_EQ(text(german, 1), "LAN: 192.168.1.20 \u00b7 Tailscale: Nicht verbunden");
    EXPECT_EQ(text(german, 2), "Status: Gesteuert von Pixel");
    EXPECT_EQ(text(german, 5), "Neues Gerät koppeln…");
    EXPECT_EQ(german.items[6].items[0].text, "Pixel (Online)");
    EXPECT_EQ(german.items[6].items[0].items[0].text, "Gerät entfernen");
    EXPECT_EQ(german.items[9].items[3].text, "Shooter (WASD + Mausblick)");
    EXPECT_EQ(text(german, 16), "Hearthpad beenden");

    const Menu japanese = build_menu(v, Catalogue(Language::Japanese));
    EXPECT_EQ(text(japanese, 5), "新しいデバイスのペアリング...");
    EXPECT_EQ(text(japanese, 13), "管理者権限で実行 (UAC/管理者ウィンドウを操作)");
    EXPECT_EQ(japanese.items[6].items[0].text, "Pixel (オンライン)");

    // Ids, flags and structure do not depend on the language.
    const Menu english = build_menu(v);
    ASSERT_EQ(german.items.size(), english.items.size());
    for (std::size_t i = 0; i < english.items.size(); ++i) {
        EXPECT_EQ(german.items[i].id, english.items[i].id);
        EXPECT_EQ(german.items[i].kind, english.items[i].kind);
        EXPECT_EQ(german.items[i].checked, english.items[i].checked);
        EXPECT_EQ(german.items[i].items.size(), english.items[i].items.size());
    }
}

TEST(TrayLanguages, TooltipTranslatedAndStillCutAt127Units) {
    host_ops::HostView host;
    EXPECT_EQ(utf16_to_utf8(tooltip(host, Catalogue(Language::French))), "Hearthpad - Pr\u00eat");
    host.controllingDevice = "Pixel";
    host.controllerOn = true;
    EXPECT_EQ(utf16_to_utf8(tooltip(host, Catalogue(Language::Japanese))),
              "Hearthpad - Pixel が操作中 (コントローラー オン)");
    host.controllingDevice = std::string(200, 'n');
    EXPECT_EQ(tooltip(host, Catalogue(Language::Russian)).size(), kTooltipUnits);
}

}  // namespace
}  // namespace hp::tray
