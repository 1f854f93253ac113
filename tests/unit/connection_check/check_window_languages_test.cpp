// The connection check window in every language: texts from the catalogue,
// and a layout in which the longest translation of each text fits at 96,
// 144 and 192 DPI, measured with a simple model of each script's width.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "connection_check/check_window_model.h"
#include "support.h"

namespace hp::connection_check {
namespace {

using text_catalogue::Catalogue;
using text_catalogue::Language;

constexpr int kDpis[] = {96, 144, 192};

// Width in pixels at 96 DPI of one character of the window's font (9 pt):
// Segoe UI averages under 6 for Latin and Cyrillic letters, the CJK faces
// take a full em of 12. Rounded up, so that a text that fits here fits on
// screen.
int char_width(char32_t c) {
    if (c >= 0x1100 && c <= 0xFFDC) return 12;  // Hangul, CJK, kana, full-width forms
    if (c >= 0x0400 && c <= 0x04FF) return 7;   // Cyrillic
    return 6;
}

int text_width(std::string_view text, int dpi) {
    int width = 0;
    for (const char16_t unit : utf8_to_utf16(text)) width += char_width(unit);
    return scale_units(dpi, width);
}

// Wrapped at any character (never better than at spaces), 16 units a line.
TextMeasure script_measure(int dpi) {
    return [dpi](std::string_view text, int widthPx) {
        int lines = 1, used = 0;
        for (const char16_t unit : utf8_to_utf16(text)) {
            const int w = scale_units(dpi, char_width(unit));
            if (used + w > widthPx) {
                ++lines;
                used = 0;
            }
            used += w;
        }
        return lines * scale_units(dpi, 16);
    };
}

bool overlap(const LayoutRect& a, const LayoutRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// PCs that give the longest text of each row in some language.
std::vector<ConnectionFacts> spoiled_pcs() {
    std::vector<ConnectionFacts> pcs(6, test::healthy_facts());
    pcs[1].networks[0].category = platform::NetworkCategory::Public;
    pcs[1].firewall.programRules = std::vector<platform::FirewallRule>{};
    pcs[1].networks[0].adapterName = "vEthernet (Hyper-V Virtual Ethernet Adapter #2)";
    pcs[1].lan[0].adapterName = pcs[1].networks[0].adapterName;
    pcs[1].lan[0].address = *IpAddress::parse("fd12:3456:789a:bcde:1234:5678:9abc:def0");
    pcs[2].lan[0].hasGateway = false;
    pcs[2].firewall.managedElsewhere = true;
    pcs[2].firewall.profile(platform::kProfilePrivate).blocksAll = true;
    pcs[3].firewall.profile(platform::kProfilePrivate).blocksAll = true;
    pcs[3].advert = discovery::AdvertState::Failed;
    pcs[4].networks[0].category.reset();
    pcs[4].advert = discovery::AdvertState::Off;
    pcs[5].firewall = {};
    pcs[5].advert = discovery::AdvertState::Pending;
    return pcs;
}

std::vector<Finding> longest_in(const Catalogue& texts) {
    const auto pcs = spoiled_pcs();
    std::vector<Finding> longest = evaluate(pcs[0]);
    for (const auto& pc : pcs) {
        const auto findings = evaluate(pc);
        for (std::size_t i = 0; i < findings.size(); ++i)
            if (texts.format(findings[i].message).size() > texts.format(longest[i].message).size())
                longest[i] = findings[i];
    }
    return longest;
}

TEST(CheckWindowLanguages, RowsStatusAndButtonsSpeakTheCatalogues) {
    ConnectionFacts pc = test::healthy_facts();
    pc.networks[0].category = platform::NetworkCategory::Public;
    pc.firewall.programRules = std::vector<platform::FirewallRule>{};
    CheckWindowModel model{Catalogue(Language::German)};
    model.begin_check();
    EXPECT_EQ(model.status(), "Wird geprüft…");
    model.show_findings(evaluate(pc));
    EXPECT_EQ(model.status(), "2 Probleme gefunden.");
    const auto controls = model.controls(96);
    const auto text_of = [&](int id) {
        return std::find_if(controls.begin(), controls.end(), [&](const ControlPlacement& c) { return c.id == id; })
            ->text;
    };
    EXPECT_EQ(text_of(row_state_id(0)), "OK");
    EXPECT_EQ(text_of(row_state_id(2)), "Problem");
    // The adapter's name stays as Windows gives it.
    EXPECT_EQ(text_of(row_text_id(2)),
              "Windows behandelt das Netzwerk an Adapter Wi-Fi als öffentlich, wodurch Smartphones ausgesperrt "
              "werden. Wählen Sie „Einstellungen“, öffnen Sie die Eigenschaften des Netzwerks und legen Sie den "
              "Netzwerkprofiltyp auf „Privat“ fest.");
    EXPECT_EQ(text_of(row_fix_id(2)), "Einstellungen");
    EXPECT_EQ(text_of(row_fix_id(3)), "Zulassen…");
    EXPECT_EQ(text_of(kCheckAgainId), "Erneut prüfen");
    EXPECT_EQ(text_of(kCloseId), "Schließen");
    // The findings themselves stay English for the console and the log.
    EXPECT_EQ(model.findings()[2].text.rfind("Windows treats the network on Wi-Fi as public", 0), 0u);

    CheckWindowModel russian{Catalogue(Language::Russian)};
    auto three = evaluate(pc);
    three[5].state = FindingState::Problem;
    russian.show_findings(three);
    EXPECT_EQ(russian.status(), "Обнаружено 3 проблемы.");
    three[2].state = three[3].state = FindingState::Ok;
    russian.show_findings(three);
    EXPECT_EQ(russian.status(), "Обнаружена 1 проблема.");
}

TEST(CheckWindowLanguages, TheLongestTranslationsFitAtEveryDpi) {
    for (const Language language : text_catalogue::kLanguages) {
        const Catalogue texts(language);
        CheckWindowModel model{texts};
        model.show_findings(longest_in(texts));
        // Whatever status the window may show (the longest outcome of a fix).
        for (const int dpi : kDpis) {
            SCOPED_TRACE(std::string(text_catalogue::language_code(language)) + " at " + std::to_string(dpi));
            const TextMeasure measure = script_measure(dpi);
            const LayoutRect client = model.client_rect(dpi, measure);
            const auto controls = model.controls(dpi, measure);
            for (std::size_t i = 0; i < controls.size(); ++i) {
                const ControlPlacement& c = controls[i];
                if (!c.visible) continue;
                EXPECT_TRUE(c.rect.left >= 0 && c.rect.top >= 0 && c.rect.right <= client.right &&
                            c.rect.bottom <= client.bottom)
                    << c.id;
                for (std::size_t j = i + 1; j < controls.size(); ++j) {
                    if (!controls[j].visible) continue;
                    EXPECT_FALSE(overlap(c.rect, controls[j].rect)) << c.id << " / " << controls[j].id;
                }
                if (c.kind == ControlKind::Label) {
                    EXPECT_GE(c.rect.height(), measure(c.text, c.rect.width()) - 1) << c.id << " " << c.text;
                } else {
                    // A caption on one line, clear of the button's edges (5 units each side).
                    EXPECT_LE(text_width(c.text, dpi), c.rect.width() - scale_units(dpi, 10)) << c.text;
                }
            }
            // The state labels are one line: their words are not broken.
            for (int r = 0; r < kRowCount; ++r) {
                const auto& state = *std::find_if(controls.begin(), controls.end(),
                                                  [&](const ControlPlacement& c) { return c.id == row_state_id(r); });
                for (const FindingState s : {FindingState::Ok, FindingState::Problem, FindingState::Unknown})
                    EXPECT_LE(text_width(state_label(s, texts), dpi), state.rect.width()) << state_label(s, texts);
            }
        }
    }
}

}  // namespace
}  // namespace hp::connection_check
