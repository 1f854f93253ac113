#include "sas/brightness.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace hp::sas {
namespace {

std::string script_with_step(const char* step) {
    return std::string("$b=(Get-CimInstance -Namespace root/WMI -ClassName WmiMonitorBrightness | Select-Object "
                       "-First 1).CurrentBrightness;$n=[Math]::Min(100,[Math]::Max(0,$b+(") +
           step +
           ")));Get-CimInstance -Namespace root/WMI -ClassName WmiMonitorBrightnessMethods | ForEach-Object "
           "{ $_ | Invoke-CimMethod -MethodName WmiSetBrightness -Arguments @{Timeout=1;Brightness=$n} | "
           "Out-Null }";
}

TEST(Brightness, ScriptCarriesTheSignedStep) {
    EXPECT_EQ(brightness_script(true), script_with_step("10"));
    EXPECT_EQ(brightness_script(false), script_with_step("-10"));
}

TEST(Brightness, ArgumentsRunTheScriptHiddenAndNonInteractive) {
    for (const bool up : {true, false}) {
        const std::vector<std::string> expected{"-NoProfile", "-NonInteractive", "-WindowStyle",
                                                "Hidden",     "-Command",        brightness_script(up)};
        EXPECT_EQ(brightness_arguments(up), expected);
    }
    EXPECT_STREQ(kBrightnessProgram, "powershell.exe");
}

TEST(Brightness, CommandLineQuotesOnlyTheScript) {
    EXPECT_EQ(windows_command_line(kBrightnessProgram, brightness_arguments(true)),
              "powershell.exe -NoProfile -NonInteractive -WindowStyle Hidden -Command \"" + script_with_step("10") +
                  "\"");
}

struct QuoteCase {
    const char* arg;
    const char* quoted;
};

// Each quoted form reads back as the original under the C runtime's rules.
TEST(Brightness, QuotesArgumentsForTheWindowsParser) {
    const QuoteCase cases[] = {
        {"plain", "plain"},
        {"", R"("")"},
        {"two words", R"("two words")"},
        {"tab\there", "\"tab\there\""},
        {R"(say "hi")", R"("say \"hi\"")"},
        {R"(C:\dir\)", R"(C:\dir\)"},
        {R"(C:\my dir\)", R"("C:\my dir\\")"},
        {R"(a\\"b c)", R"("a\\\\\"b c")"},
        {R"(a\b c)", R"("a\b c")"},
    };
    for (const auto& c : cases) EXPECT_EQ(quote_windows_argument(c.arg), c.quoted) << c.arg;
}

}  // namespace
}  // namespace hp::sas
