// The connection check window's model: rows that mirror the findings, fix
// buttons only where a fix exists, the status line through a check and a
// fix, and a layout that fits its texts at the usual DPI settings.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "connection_check/allow_firewall.h"
#include "connection_check/check_window_model.h"
#include "platform/fake/fake_elevated_runner.h"
#include "platform/fake/fake_firewall.h"
#include "support.h"

namespace hp::connection_check {
namespace {

using test::healthy_facts;
using test::kProgram;

constexpr int kDpis[] = {96, 144, 192};

bool inside(const LayoutRect& inner, const LayoutRect& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}
bool overlap(const LayoutRect& a, const LayoutRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}
const ControlPlacement& control(const std::vector<ControlPlacement>& controls, int id) {
    const auto it = std::find_if(controls.begin(), controls.end(), [&](const ControlPlacement& c) { return c.id == id; });
    EXPECT_NE(it, controls.end()) << id;
    return *it;
}

// A public network with no allow rule, blocking all, advertisement off: a
// fix button on two rows.
std::vector<Finding> troubled() {
    ConnectionFacts f = healthy_facts();
    f.networks[0].category = platform::NetworkCategory::Public;
    f.firewall.programRules = std::vector<platform::FirewallRule>{};
    f.firewall.profile(platform::kProfilePublic).blocksAll = true;
    f.advert = discovery::AdvertState::Off;
    return evaluate(f);
}

// For every row, the longest text a few spoiled PCs give.
std::vector<Finding> longest_texts() {
    std::vector<ConnectionFacts> variants(6, healthy_facts());
    variants[1].networks[0].category = platform::NetworkCategory::Public;
    variants[1].firewall.programRules = std::vector<platform::FirewallRule>{};
    variants[1].networks[0].adapterName = "vEthernet (Hyper-V Virtual Ethernet Adapter #2)";
    variants[1].lan[0].adapterName = variants[1].networks[0].adapterName;
    variants[1].lan[0].address = *IpAddress::parse("fd12:3456:789a:bcde:1234:5678:9abc:def0");
    variants[2].lan[0].hasGateway = false;
    variants[2].firewall.managedElsewhere = true;
    variants[2].firewall.profile(platform::kProfilePrivate).blocksAll = true;
    variants[3].firewall.profile(platform::kProfilePrivate).blocksAll = true;
    variants[3].advert = discovery::AdvertState::Failed;
    variants[4].networks[0].category.reset();
    variants[4].advert = discovery::AdvertState::Off;
    variants[5].firewall = {};
    variants[5].advert = discovery::AdvertState::Pending;
    std::vector<Finding> longest = evaluate(variants[0]);
    for (const auto& v : variants) {
        const auto findings = evaluate(v);
        for (std::size_t i = 0; i < findings.size(); ++i)
            if (findings[i].text.size() > longest[i].text.size()) longest[i] = findings[i];
    }
    return longest;
}

TEST(CheckWindowLayout, TextLines) {
    struct Case {
        std::string text;
        int widthUnits;
        int lines;
    };
    const Case cases[] = {
        {"", 70, 1},
        {"one two", 70, 1},                 // 10 characters a line
        {"0123456789", 70, 1},
        {"0123456789 x", 70, 2},
        {"aaaa bbbb cccc", 70, 2},          // "aaaa bbbb" then "cccc"
        {"012345678901234567890", 70, 3},   // a long word takes whole lines
        {"ab 012345678901234", 70, 3},
        {"Allow… Allow… ", 70, 2},          // an ellipsis is one character
    };
    for (const Case& c : cases) EXPECT_EQ(text_lines(c.text, c.widthUnits), c.lines) << c.text;
}

TEST(CheckWindowLayout, FitsAndDoesNotOverlapAtEveryDpi) {
    CheckWindowModel empty;
    CheckWindowModel worst;
    worst.show_findings(longest_texts());
    for (const CheckWindowModel* model : {&empty, &worst}) {
        for (const int dpi : kDpis) {
            SCOPED_TRACE(dpi);
            const LayoutRect client = model->client_rect(dpi);
            EXPECT_EQ(client.width(), kClientWidthUnits * dpi / 96);
            const auto controls = model->controls(dpi);
            ASSERT_EQ(controls.size(), static_cast<std::size_t>(3 * kRowCount + 3));
            for (std::size_t i = 0; i < controls.size(); ++i) {
                const ControlPlacement& a = controls[i];
                EXPECT_TRUE(inside(a.rect, client)) << a.id;
                EXPECT_GT(a.rect.width(), 0);
                EXPECT_GT(a.rect.height(), 0);
                for (std::size_t j = i + 1; j < controls.size(); ++j)
                    EXPECT_FALSE(overlap(a.rect, controls[j].rect)) << a.id << " / " << controls[j].id;
                // Labels are tall enough for their wrapped text (16 units a line).
                if (a.kind == ControlKind::Label) {
                    const int lines = text_lines(a.text, a.rect.width() * 96 / dpi);
                    EXPECT_GE(a.rect.height(), scale_units(dpi, 16 * lines) - 1) << a.id << " " << a.text;
                }
            }
            // Rows top to bottom in the order of the findings, the buttons below.
            for (int r = 1; r < kRowCount; ++r)
                EXPECT_LE(control(controls, row_text_id(r - 1)).rect.bottom, control(controls, row_fix_id(r)).rect.top + 1);
            EXPECT_GE(control(controls, kCheckAgainId).rect.top, control(controls, row_text_id(kRowCount - 1)).rect.bottom);
        }
    }
    // Even the longest texts leave the window on a 768-pixel screen at 96 DPI.
    EXPECT_LE(worst.client_rect(96).height(), 640);
}

// The window measures wrapped text in its own font: labels take the height
// it gives at their column's width, and no text column ever reaches a
// button, however wide the font. The measure here stands in for a font
// twice as wide as the estimate's, 16 pixels a line at 96 DPI.
TEST(CheckWindowLayout, TextsWrapInTheirColumnLeftOfTheButtonsAtTheMeasuredHeight) {
    CheckWindowModel model;
    model.show_findings(longest_texts());
    for (const int dpi : kDpis) {
        SCOPED_TRACE(dpi);
        std::map<std::string, int> widths;  // the width each text was measured at
        const TextMeasure wide = [&](std::string_view text, int widthPx) {
            widths[std::string(text)] = widthPx;
            const int perLine = std::max(1, widthPx / scale_units(dpi, 14));
            const int lines = (static_cast<int>(text.size()) + perLine - 1) / perLine;
            return std::max(1, lines) * scale_units(dpi, 16);
        };
        const LayoutRect client = model.client_rect(dpi, wide);
        const auto controls = model.controls(dpi, wide);
        int buttonsLeft = client.right;
        for (const ControlPlacement& c : controls)
            if (c.kind != ControlKind::Label && c.id != kCloseId && c.id != kCheckAgainId)
                buttonsLeft = std::min(buttonsLeft, c.rect.left);
        for (std::size_t i = 0; i < controls.size(); ++i) {
            const ControlPlacement& a = controls[i];
            EXPECT_TRUE(inside(a.rect, client)) << a.id;
            for (std::size_t j = i + 1; j < controls.size(); ++j)
                EXPECT_FALSE(overlap(a.rect, controls[j].rect)) << a.id << " / " << controls[j].id;
        }
        for (int r = 0; r < kRowCount; ++r) {
            const ControlPlacement& text = control(controls, row_text_id(r));
            ASSERT_TRUE(widths.contains(text.text)) << text.text;
            EXPECT_EQ(text.rect.width(), widths[text.text]) << text.text;
            EXPECT_EQ(text.rect.width(), row_text_column(dpi).width());
            EXPECT_GE(text.rect.height(), wide(text.text, text.rect.width())) << text.text;
            EXPECT_LT(text.rect.right, buttonsLeft) << text.text;  // left of every fix button, with a gap
        }
        const ControlPlacement& status = control(controls, kStatusId);
        EXPECT_EQ(status.rect.width(), status_text_column(dpi).width());
        EXPECT_LT(status.rect.right, control(controls, kCheckAgainId).rect.left);
    }
}

TEST(CheckWindowLayout, StatusTextsFitTheirTwoLines) {
    CheckWindowModel model;
    const int widthUnits = control(model.controls(96), kStatusId).rect.width();
    std::vector<std::string> texts{std::string(kCheckingText), std::string(kAskingText), "6 problems found.",
                                   allow_firewall_outcome_text(fail("The operation was canceled by the user."))};
    for (const std::uint32_t code : {0u, 1u, 2u, 3u, 4u, 4000000000u})
        texts.push_back(allow_firewall_outcome_text(platform::ElevatedOutcome{false, code}));
    texts.push_back(allow_firewall_outcome_text(platform::ElevatedOutcome{true, 0}));
    for (const auto& t : texts) EXPECT_LE(text_lines(t, widthUnits), 2) << t;
}

TEST(CheckWindowModel, RowsMirrorTheFindings) {
    CheckWindowModel model;
    model.show_findings(troubled());
    const auto controls = model.controls(96);
    const char* states[] = {"OK", "OK", "Problem", "Problem", "Problem", "Problem"};
    const char* fixes[] = {"", "", "Open Settings", "Allow…", "", ""};
    for (int r = 0; r < kRowCount; ++r) {
        SCOPED_TRACE(r);
        EXPECT_EQ(control(controls, row_state_id(r)).text, states[r]);
        EXPECT_EQ(control(controls, row_text_id(r)).text, model.findings()[static_cast<std::size_t>(r)].text);
        const ControlPlacement& fix = control(controls, row_fix_id(r));
        EXPECT_EQ(fix.text, fixes[r]);
        EXPECT_EQ(fix.visible, *fixes[r] != 0);
        EXPECT_EQ(fix.enabled, *fixes[r] != 0);
        EXPECT_EQ(fix.kind, ControlKind::Button);
    }
    EXPECT_EQ(model.status(), "4 problems found.");
    EXPECT_EQ(control(controls, kCheckAgainId).text, "Check Again");
    EXPECT_EQ(control(controls, kCheckAgainId).kind, ControlKind::DefaultButton);
    EXPECT_EQ(control(controls, kCloseId).text, "Close");

    EXPECT_EQ(model.click(row_fix_id(2)), CheckAction::OpenNetworkSettings);
    EXPECT_FALSE(model.busy());
    EXPECT_EQ(model.click(row_fix_id(0)), CheckAction::None);  // an ok row
    EXPECT_EQ(model.click(row_fix_id(5)), CheckAction::None);  // a problem without a fix
    EXPECT_EQ(model.click(kCloseId), CheckAction::Close);

    model.show_findings(evaluate(healthy_facts()));
    EXPECT_EQ(model.status(), "No problems found.");
    for (const auto& c : model.controls(96)) {
        if (c.kind == ControlKind::Button && c.id != kCloseId) {
            EXPECT_FALSE(c.visible) << c.id;
        }
    }
}

// The firewall fix end to end against the fakes: the window asks for the
// elevated run, the run changes the fake firewall and exits with its code,
// and the check after it finds the program let through.
TEST(CheckWindowModel, CheckThenFixThenCheckAgain) {
    fake::FakeFirewall firewall;
    firewall.ruleList.push_back(test::program_rule(false, platform::kProfileAll));
    fake::FakeElevatedRunner runner;
    runner.answer_with([&](const fake::FakeElevatedRunner::Request& r) -> Result<platform::ElevatedOutcome> {
        if (r.args != std::vector<std::string>{std::string(kAllowFirewallArgument)}) return fail("unexpected arguments");
        return platform::ElevatedOutcome{false, static_cast<std::uint32_t>(run_allow_firewall(firewall, r.program))};
    });
    const auto check = [&] {
        ConnectionFacts facts = healthy_facts();
        facts.firewall.programRules.reset();
        std::vector<platform::FirewallRule> ours;
        for (const auto& rule : firewall.ruleList)
            if (rule.inbound && same_program(rule.applicationName, kProgram)) ours.push_back(rule);
        facts.firewall.programRules = ours;
        return evaluate(facts);
    };

    CheckWindowModel model;
    model.begin_check();
    EXPECT_TRUE(model.busy());
    EXPECT_EQ(model.status(), "Checking…");
    EXPECT_FALSE(control(model.controls(96), kCheckAgainId).enabled);
    EXPECT_EQ(model.click(kCheckAgainId), CheckAction::None);
    model.show_findings(check());
    EXPECT_EQ(model.status(), "1 problem found.");
    EXPECT_EQ(model.findings()[3].fix, FindingFix::AllowFirewall);

    EXPECT_EQ(model.click(row_fix_id(3)), CheckAction::AllowFirewall);
    EXPECT_EQ(model.status(), "Asking Windows for permission…");
    EXPECT_TRUE(model.busy());
    EXPECT_FALSE(control(model.controls(96), row_fix_id(3)).enabled);
    EXPECT_EQ(model.click(row_fix_id(3)), CheckAction::None);

    // The user says no first.
    EXPECT_EQ(model.fix_finished(platform::ElevatedOutcome{true, 0}), CheckAction::None);
    EXPECT_EQ(model.status(), "Permission was not given, so the firewall was not changed.");
    EXPECT_FALSE(model.busy());

    ASSERT_EQ(model.click(row_fix_id(3)), CheckAction::AllowFirewall);
    const auto outcome = runner.run_elevated_and_wait(kProgram, {std::string(kAllowFirewallArgument)}, 0);
    ASSERT_EQ(model.fix_finished(outcome), CheckAction::RunCheck);
    model.begin_check();
    EXPECT_EQ(model.status(), "Checking…");
    model.show_findings(check());
    EXPECT_EQ(model.status(), "Hearthpad is now allowed through the firewall on private networks.");
    EXPECT_EQ(model.findings()[3].state, FindingState::Ok);
    EXPECT_FALSE(control(model.controls(96), row_fix_id(3)).visible);
    EXPECT_EQ(runner.requests().size(), 1u);

    // The next check says how things stand again.
    model.begin_check();
    model.show_findings(check());
    EXPECT_EQ(model.status(), "No problems found.");
}

}  // namespace
}  // namespace hp::connection_check
