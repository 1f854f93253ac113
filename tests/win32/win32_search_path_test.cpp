// Programs and DLLs of the system come from the system directory: copies of
// sas.dll, schtasks.exe, powershell.exe and tailscale.exe planted beside the
// program or in the current folder (both often writable by anyone who can
// get a file onto the PC) are neither loaded nor run. Stand-ins that record
// which copy ran sit where the real programs are.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/brightness.h"
#include "platform/process_runner.h"
#include "platform/win32/dll_search.h"
#include "platform/win32/hidden_process.h"
#include "platform/win32/random_source.h"
#include "stand_ins.h"

namespace hp::platform {
namespace {

using namespace hp::testing_win32;

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::vector<std::string> lower(std::vector<std::string> lines) {
    for (auto& l : lines) l = lower(l);
    return lines;
}

fs::path program_files() {
    PWSTR path = nullptr;
    fs::path dir;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_ProgramFiles, KF_FLAG_DEFAULT, nullptr, &path))) dir = path;
    CoTaskMemFree(path);
    return dir;
}

enum class Where { BesideTheProgram, CurrentFolder };

// A scratch folder made the current folder; files planted there or beside
// the program; the stand-ins' record of which copy ran. All undone after.
class Planted : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string id = std::to_string(GetCurrentProcessId());
        oldCwd_ = fs::current_path();
        cwd_ = fs::temp_directory_path() / ("hp-planted-" + id + "-" + std::to_string(++count_));
        ranLog_ = cwd_.parent_path() / (cwd_.filename().string() + ".log");
        fs::create_directories(cwd_);
        fs::current_path(cwd_);
        ranEnv_.emplace(L"HP_STUB_RAN_LOG", ranLog_.wstring());
    }
    void TearDown() override {
        std::error_code ec;
        fs::current_path(oldCwd_, ec);
        ranEnv_.reset();
        for (const auto& p : planted_) fs::remove(p, ec);
        fs::remove_all(cwd_, ec);
        fs::remove(ranLog_, ec);
    }

    fs::path folder(Where where) const { return where == Where::BesideTheProgram ? program_directory() : cwd_; }

    // Copies `source` as `name` into each folder given.
    void plant(const fs::path& source, const std::wstring& name, std::vector<Where> where) {
        for (const Where w : where) {
            const fs::path target = folder(w) / name;
            ASSERT_TRUE(fs::copy_file(source, target, fs::copy_options::overwrite_existing)) << target;
            planted_.push_back(target);
        }
    }
    void plant_everywhere(const std::wstring& name) {
        plant(stub_program(), name, {Where::BesideTheProgram, Where::CurrentFolder});
    }

    std::vector<std::string> ran() const { return lower(read_lines(ranLog_)); }

    static inline int count_ = 0;
    fs::path cwd_, oldCwd_, ranLog_;
    std::vector<fs::path> planted_;
    std::optional<ScopedEnv> ranEnv_;
};

// ------------------------------------------------------------------ DLLs

class PlantedDll : public Planted, public ::testing::WithParamInterface<Where> {
protected:
    fs::path plant_sas() {
        plant(fs::path(HP_STUB_DIR) / "sas.dll", L"sas.dll", {GetParam()});
        return folder(GetParam()) / "sas.dll";
    }
};

TEST_P(PlantedDll, ASystemLibraryIsLoadedFromTheSystemDirectoryOnly) {
    const fs::path planted = plant_sas();
    HMODULE module = win32::load_system_library(L"sas.dll");
    EXPECT_EQ(GetModuleHandleW(planted.c_str()), nullptr) << "the planted sas.dll was loaded";
    if (module) FreeLibrary(module);
    // The random source's lookup goes the same way.
    (void)system_proc_lookup(L"sas.dll", "SendSAS");
    EXPECT_EQ(GetModuleHandleW(planted.c_str()), nullptr) << "the planted sas.dll was loaded";
}

// SetDefaultDllDirectories holds for the rest of the process: every later
// test of this program runs with the restricted search, as the host does.
TEST_P(PlantedDll, AfterTheSearchIsRestrictedLoadLibraryPassesThePlantedDllBy) {
    const fs::path planted = plant_sas();
    ASSERT_TRUE(win32::restrict_dll_search());
    HMODULE module = LoadLibraryW(L"sas.dll");
    EXPECT_EQ(GetModuleHandleW(planted.c_str()), nullptr) << "the planted sas.dll was loaded";
    if (module) FreeLibrary(module);
}

INSTANTIATE_TEST_SUITE_P(Dlls, PlantedDll, ::testing::Values(Where::BesideTheProgram, Where::CurrentFolder),
                         [](const auto& info) {
                             return info.param == Where::BesideTheProgram ? "BesideTheProgram" : "CurrentFolder";
                         });

// -------------------------------------------------------------- programs

TEST_F(Planted, SchtasksIsLocatedAndRunFromTheSystemDirectory) {
    const PlacedStandIn real(system_directory() / "schtasks.exe");
    ASSERT_TRUE(real.ok());
    const NativeOverride overrides(L"schtasks.exe");
    ASSERT_TRUE(overrides.ok());
    plant_everywhere(L"schtasks.exe");

    const auto runner = make_process_runner();
    ProcessRequest request;
    request.program = "schtasks.exe";
    request.args = {"/Query", "/TN", "HearthpadHost"};
    EXPECT_EQ(lower(runner->locate(request).value_or("")), lower(utf8_path(real.path())));
    ASSERT_TRUE(runner->run(request));
    EXPECT_EQ(ran(), std::vector<std::string>{lower(utf8_path(real.path()))});
}

TEST_F(Planted, TheBrightnessStepRunsTheSystemsPowerShell) {
    const PlacedStandIn real(system_directory() / "WindowsPowerShell" / "v1.0" / "powershell.exe");
    ASSERT_TRUE(real.ok());
    const NativeOverride overrides(L"powershell.exe");
    ASSERT_TRUE(overrides.ok());
    const fs::path argsLog = cwd_.parent_path() / ("hp-args-" + std::to_string(GetCurrentProcessId()) + ".log");
    fs::remove(argsLog);
    const ScopedEnv args(L"HP_STUB_SCHTASKS_LOG", argsLog.wstring());
    plant_everywhere(L"powershell.exe");

    EXPECT_EQ(lower(utf8_path(win32::powershell_path().value_or(L""))), lower(utf8_path(real.path())));
    win32::run_brightness_step(true);
    EXPECT_EQ(ran(), std::vector<std::string>{lower(utf8_path(real.path()))});
    std::string expected;
    for (const auto& a : brightness_arguments(true)) expected += (expected.empty() ? "" : "\t") + a;
    EXPECT_EQ(read_lines(argsLog), std::vector<std::string>{expected});
    fs::remove(argsLog);
}

TEST_F(Planted, TailscaleComesFromItsInstallFolder) {
    const PlacedStandIn real(program_files() / "Tailscale" / "tailscale.exe");
    ASSERT_TRUE(real.ok());
    plant_everywhere(L"tailscale.exe");

    ProcessRequest request;
    request.program = "tailscale";
    request.args = {"status", "--json"};
    request.installFolder = "Tailscale";
    ASSERT_TRUE(make_process_runner()->run(request));
    EXPECT_EQ(ran(), std::vector<std::string>{lower(utf8_path(real.path()))});
}

TEST_F(Planted, ARelativePathEntryIsNotSearched) {
    // "." on PATH would mean the current folder.
    plant(stub_program(), L"hp-planted-tool.exe", {Where::CurrentFolder});
    const ScopedEnv path(L"PATH", L".;" + env_var(L"PATH").value_or(L""));
    ProcessRequest request;
    request.program = "hp-planted-tool";
    EXPECT_EQ(make_process_runner()->locate(request), std::nullopt);
    EXPECT_FALSE(make_process_runner()->run(request));
    EXPECT_TRUE(ran().empty());
}

// --------------------------------------------------------- bounded runs

TEST_F(Planted, AHiddenRunThatHangsIsEndedAtItsBound) {
    const ScopedEnv sleep(L"HP_STUB_SLEEP_MS", L"20000");
    EXPECT_EQ(win32::run_hidden(stub_program().wstring(), kBrightnessProgram, {}, std::chrono::milliseconds(300)),
              win32::HiddenRun::Ended);
}

TEST_F(Planted, AHiddenRunWithinItsBoundEndsByItself) {
    EXPECT_EQ(win32::run_hidden(stub_program().wstring(), kBrightnessProgram, {}, std::chrono::seconds(60)),
              win32::HiddenRun::Exited);
    EXPECT_EQ(win32::run_hidden((cwd_ / "missing.exe").wstring(), kBrightnessProgram, {}, std::chrono::seconds(60)),
              win32::HiddenRun::NotStarted);
}

}  // namespace
}  // namespace hp::platform
