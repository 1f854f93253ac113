// The installer as a user runs it: hearthpad-<version>-setup.exe under Wine,
// each case in a fresh prefix, with recording stand-ins for netsh.exe,
// schtasks.exe and icacls.exe in the prefix's system folder (the stand-in logs its
// arguments, one line per call, and exits 0). Checks what the installer
// leaves on the PC, an upgrade over a running host, what the uninstaller
// takes away and keeps, and (when a build signed with a throwaway
// certificate is given) the signatures.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/wine_host.h"

namespace hp::e2e {
namespace {

namespace fs = std::filesystem;

constexpr char kInstallDir[] = "C:\\Program Files\\Hearthpad";
constexpr char kInstalledExe[] = "C:\\Program Files\\Hearthpad\\hearthpad.exe";
constexpr char kUninstallKey[] = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Hearthpad";
constexpr char kRunKey[] = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kPolicyKey[] = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
constexpr auto kSetupLimit = seconds(120);
constexpr auto kHostLimit = seconds(90);

const std::vector<std::string> kInstalledFiles = {
    "hearthpad.exe", "hearthpad-client.exe", "hearthpad-sas.exe",      "README-Windows.txt",
    "LICENSE",       "THIRD_PARTY_NOTICES.md", "docs/GAMEPAD.md", "uninstall.exe"};

std::string env_or(const char* name, const char* fallback) {
    const char* e = std::getenv(name);
    return e && *e ? e : fallback;
}

fs::path installer() { return env_or("HP_INSTALLER", HP_INSTALLER); }
fs::path stub_dir() { return HP_STUB_DIR; }

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) out.push_back(line);
    }
    return out;
}

// The arguments of one stand-in call: "advfirewall firewall add rule ..."
// for netsh, "/Delete /TN HearthpadHost /F" for schtasks.
std::vector<std::string> calls_starting(const fs::path& log, const std::string& first) {
    std::vector<std::string> out;
    for (const std::string& line : lines_of(read_file(log)))
        if (line.starts_with(first)) out.push_back(line);
    return out;
}

std::string tabbed(const std::vector<std::string>& args) {
    std::string out;
    for (const auto& a : args) out += (out.empty() ? "" : "\t") + a;
    return out;
}

// One case: a fresh prefix under <build>/installer/<name> with the
// stand-ins in its system folder.
class InstallerCase {
public:
    // Wine's desktop registers no shell window, so the installer's start
    // through the shell would find no shell; a stand-in registers one, and
    // the rest of the way (IShellWindows, the desktop's view, ShellExecute)
    // is Wine's own explorer.exe.
    enum class Shell { Absent, Present };

    static Result<std::unique_ptr<InstallerCase>> open(const std::string& name, Shell shell = Shell::Present) {
        auto c = std::unique_ptr<InstallerCase>(new InstallerCase);
        c->dir_ = fs::path(HP_E2E_DIR) / "installer" / name;
        auto wine = WineSession::open(c->dir_, WineSession::Prefix::Fresh);
        if (!wine) return std::unexpected(wine.error());
        c->wine_ = std::move(*wine);
        std::error_code ec;
        const fs::path system32 = c->prefix_path("C:\\windows\\system32");
        for (const char* program : {"netsh.exe", "schtasks.exe", "icacls.exe"}) {
            fs::copy_file(stub_dir() / "schtasks.exe", system32 / program, fs::copy_options::overwrite_existing, ec);
            if (ec) return fail("cannot place the " + std::string(program) + " stand-in: " + ec.message());
        }
        fs::remove(c->calls(), ec);
        // A host the shell starts uses the prefix user's data folder: it
        // must not ask the real update server either.
        hold_update_check(c->data_dir());
        if (shell == Shell::Present) {
            const fs::path ready = c->dir_ / "shell-window-ready";
            fs::remove(ready, ec);
            auto stand_in =
                c->wine_->start(stub_dir() / "shell_window.exe", c->data_dir(), {"900000", windows_path(ready)});
            if (!stand_in) return std::unexpected(stand_in.error());
            c->shell_.emplace(std::move(*stand_in));
            const auto deadline = std::chrono::steady_clock::now() + seconds(60);
            while (!fs::exists(ready, ec)) {
                if (c->shell_->wait_for(milliseconds(0)) || std::chrono::steady_clock::now() > deadline)
                    return fail("the stand-in shell window was not registered");
                std::this_thread::sleep_for(milliseconds(100));
            }
        }
        return c;
    }

    WineSession& wine() { return *wine_; }
    fs::path calls() const { return dir_ / "stand-in-calls.log"; }

    // A Windows path of the prefix's C: drive as a path of this machine.
    fs::path prefix_path(std::string windowsPath) const {
        std::string rest = windowsPath.substr(3);
        for (char& c : rest)
            if (c == '\\') c = '/';
        return wine_->prefix() / "drive_c" / rest;
    }
    fs::path install_dir() const { return prefix_path(kInstallDir); }
    fs::path shortcut() const {
        return prefix_path("C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Hearthpad.lnk");
    }
    // %APPDATA%\Hearthpad of the prefix's one user.
    fs::path data_dir() const {
        std::error_code ec;
        for (const auto& user : fs::directory_iterator(wine_->prefix() / "drive_c" / "users", ec)) {
            const std::string name = user.path().filename().string();
            if (name != "Public" && user.is_directory())
                return user.path() / "AppData" / "Roaming" / "Hearthpad";
        }
        return wine_->prefix() / "drive_c" / "users" / "unknown" / "AppData" / "Roaming" / "Hearthpad";
    }

    std::map<std::string, std::string> stand_in_env(const std::map<std::string, std::string>& more = {}) const {
        std::map<std::string, std::string> env{
            {"WINEDLLOVERRIDES", "mscoree=;mshtml=;netsh.exe,schtasks.exe,icacls.exe=n"},
            {"HP_STUB_SCHTASKS_LOG", windows_path(calls())},
            {"HP_STUB_SCHTASKS_EXIT", "0"},
        };
        for (const auto& [k, v] : more) env[k] = v;
        return env;
    }

    // Runs a command line as it stands, the way a package manager runs an
    // uninstall entry's command, to its end (the stand-in's run mode).
    Result<WineSession::Output> run_command_line(const std::string& command) {
        return run({windows_path(stub_dir() / "schtasks.exe")}, {{"HP_STUB_RUN_COMMAND", command}});
    }

    // Runs a program (setup, the uninstaller, reg) with the stand-ins.
    Result<WineSession::Output> run(const std::vector<std::string>& argv,
                                    const std::map<std::string, std::string>& env = {}) {
        return wine_->run_windows(argv, kSetupLimit, stand_in_env(env));
    }

    // The values of a registry key as name → data ("" when the key is
    // missing), read with reg.exe.
    std::map<std::string, std::string> key_values(const std::string& key) {
        std::map<std::string, std::string> values;
        auto out = wine_->run_windows({"reg", "query", key}, seconds(60));
        if (!out || out->status != 0) return values;
        for (const std::string& line : lines_of(out->text)) {
            // "    <name>    REG_SZ    <data>"
            if (!line.starts_with("    ")) continue;
            const auto type = line.find("    REG_", 4);
            if (type == std::string::npos) continue;
            const std::string name = line.substr(4, type - 4);
            const auto data = line.find("    ", type + 4);
            values[name] = data == std::string::npos ? "" : line.substr(data + 4);
        }
        return values;
    }

    // Waits until the uninstaller, which runs on from a copy of itself in
    // the temporary folder, has taken the uninstall key away.
    bool wait_for_key_gone(milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            auto out = wine_->run_windows({"reg", "query", kUninstallKey}, seconds(60));
            if (out && out->status != 0) return true;
            std::this_thread::sleep_for(seconds(1));
        }
        return false;
    }

private:
    InstallerCase() = default;
    fs::path dir_;
    std::unique_ptr<WineSession> wine_;
    std::optional<ChildProcess> shell_;
};

class Installer : public ::testing::Test {
protected:
    void open_case(const std::string& name, InstallerCase::Shell shell = InstallerCase::Shell::Present) {
        auto c = InstallerCase::open(name, shell);
        ASSERT_TRUE(c) << c.error().text;
        case_ = std::move(*c);
    }
    std::string setup() const { return windows_path(installer()); }
    std::unique_ptr<InstallerCase> case_;
};

TEST_F(Installer, SilentInstallLeavesTheFilesShortcutUninstallEntryAndOneFirewallRule) {
    open_case("install");
    auto result = case_->run({setup(), "/S"});
    ASSERT_TRUE(result) << result.error().text;
    ASSERT_EQ(result->status, 0) << result->text;

    for (const auto& file : kInstalledFiles) EXPECT_TRUE(fs::is_regular_file(case_->install_dir() / file)) << file;
    EXPECT_EQ(read_file(case_->install_dir() / "LICENSE"), read_file(fs::path(HP_SOURCE_DIR) / "LICENSE"));
    EXPECT_TRUE(fs::is_regular_file(case_->shortcut()));

    const std::string version = lines_of(read_file(fs::path(HP_SOURCE_DIR) / "VERSION")).at(0);
    auto values = case_->key_values(kUninstallKey);
    const std::map<std::string, std::string> expected{
        {"DisplayName", "Hearthpad"},
        {"DisplayVersion", version},
        {"Publisher", "Hearthpad"},
        {"DisplayIcon", "\"" + std::string(kInstalledExe) + "\",0"},
        {"InstallLocation", kInstallDir},
        {"UninstallString", "\"" + std::string(kInstallDir) + "\\uninstall.exe\" _?=" + kInstallDir},
        {"QuietUninstallString", "\"" + std::string(kInstallDir) + "\\uninstall.exe\" /S _?=" + kInstallDir},
        {"NoModify", "0x1"},
        {"NoRepair", "0x1"},
    };
    for (const auto& [name, data] : expected) EXPECT_EQ(values[name], data) << name;
    ASSERT_TRUE(values.contains("EstimatedSize"));
    EXPECT_GT(std::stoul(values["EstimatedSize"], nullptr, 16), 1000u) << "kilobytes";

    // One rule named Hearthpad for the installed program: the one made
    // before (if any) removed by name and program, then one added, inbound,
    // allow, enabled, for private and domain networks only.
    const std::string program = "program=" + std::string(kInstalledExe);
    const std::vector<std::string> netsh = calls_starting(case_->calls(), "advfirewall");
    const std::vector<std::string> expectedNetsh{
        tabbed({"advfirewall", "firewall", "delete", "rule", "name=Hearthpad", program}),
        tabbed({"advfirewall", "firewall", "add", "rule", "name=Hearthpad", "dir=in", "action=allow", program,
                "enable=yes", "profile=private,domain"}),
    };
    EXPECT_EQ(netsh, expectedNetsh);

    // The Ctrl+Alt+Del helper (ticked by default) let services generate the
    // sequence: the policy was absent in the fresh prefix.
    EXPECT_EQ(case_->key_values(kPolicyKey)["SoftwareSASGeneration"], "0x1");

    // The installed program starts (through the desktop shell) and answers.
    auto found = case_->wine().wait_for_any_host(kHostLimit);
    ASSERT_TRUE(found) << found.error().text;
    EXPECT_EQ(found->info.value("os", ""), "windows");
}

TEST_F(Installer, SecondSilentInstallReplacesARunningCopyAndStartsItAgain) {
    open_case("upgrade");
    auto first = case_->run({setup(), "/S", "/NOSTART"});
    ASSERT_TRUE(first) << first.error().text;
    ASSERT_EQ(first->status, 0) << first->text;

    const fs::path data = case_->data_dir();
    auto host = case_->wine().start(case_->install_dir() / "hearthpad.exe", data, {"--background"});
    ASSERT_TRUE(host) << host.error().text;
    auto found = case_->wine().wait_for_host(*host, kHostLimit);
    ASSERT_TRUE(found) << found.error().text;

    // A damaged file shows the second install writes the files again.
    const std::string readme = read_file(case_->install_dir() / "README-Windows.txt");
    std::ofstream(case_->install_dir() / "README-Windows.txt", std::ios::trunc) << "damaged";

    auto second = case_->run({setup(), "/S"});
    ASSERT_TRUE(second) << second.error().text;
    EXPECT_EQ(second->status, 0) << second->text;
    // The running host was asked to exit and did, by itself.
    const auto status = host->wait_for(seconds(30));
    ASSERT_TRUE(status) << "the running host did not exit";
    EXPECT_EQ(*status, 0);
    EXPECT_EQ(read_file(case_->install_dir() / "README-Windows.txt"), readme);

    auto again = case_->wine().wait_for_any_host(kHostLimit);
    ASSERT_TRUE(again) << again.error().text;
}

// A user who chose "Run with Administrator Access" has a task of their own
// that starts the installed program with the highest rights: the upgrade
// starts the host again through that task, not through the shell, which
// would bring it back without elevation.
TEST_F(Installer, UpgradeStartsTheHostThroughTheUsersElevatedTask) {
    open_case("upgrade-elevated");
    auto first = case_->run({setup(), "/S", "/NOSTART"});
    ASSERT_TRUE(first) << first.error().text;
    ASSERT_EQ(first->status, 0) << first->text;

    // What schtasks /Query /XML answers for the task: the installed program.
    const fs::path taskXml = case_->prefix_path("C:\\task.xml");
    std::ofstream(taskXml, std::ios::binary)
        << "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<Task><Actions Context=\"Author\"><Exec><Command>"
        << kInstalledExe << "</Command><Arguments>--background</Arguments></Exec></Actions></Task>\r\n";
    std::error_code ec;
    fs::remove(case_->calls(), ec);

    auto second = case_->run({setup(), "/S"}, {{"HP_STUB_SCHTASKS_QUERY_FILE", "C:\\task.xml"}});
    ASSERT_TRUE(second) << second.error().text;
    EXPECT_EQ(second->status, 0) << second->text;

    // The user's own task ("HearthpadHost-" and the SID of the prefix's
    // user) was read, then run.
    const std::vector<std::string> runs = calls_starting(case_->calls(), "/Run");
    const std::string runPrefix = tabbed({"/Run", "/TN", "HearthpadHost-S-1-5-"});
    EXPECT_TRUE(runs.size() == 1 && runs[0].starts_with(runPrefix)) << testing::PrintToString(runs);
    const std::string task = runs.empty() ? std::string() : runs[0].substr(tabbed({"/Run", "/TN", ""}).size());
    const std::vector<std::string> queries = calls_starting(case_->calls(), "/Query");
    EXPECT_EQ(queries, (std::vector<std::string>{tabbed({"/Query", "/TN", task, "/XML"})}));
    // The stand-in's /Run starts nothing: a host that comes up was started
    // through the shell.
    auto started = case_->wine().wait_for_any_host(seconds(30));
    EXPECT_FALSE(started) << "the host was also started through the shell";
}

TEST_F(Installer, SilentInstallStopsWithoutChangesWhileAHostItCannotCloseRuns) {
    open_case("blocked");
    // A host of another session: its mutex is there, no window to close.
    auto holder = case_->wine().start(stub_dir() / "mutex_holder.exe", case_->data_dir(),
                                      {"Global\\HearthpadHostSingletonMutex", "60000"});
    ASSERT_TRUE(holder) << holder.error().text;
    std::this_thread::sleep_for(seconds(3));

    auto result = case_->run({setup(), "/S"});
    ASSERT_TRUE(result) << result.error().text;
    EXPECT_EQ(result->status, 2) << result->text;
    EXPECT_FALSE(fs::exists(case_->install_dir() / "hearthpad.exe"));
    EXPECT_TRUE(case_->key_values(kUninstallKey).empty());
    // Never killed: the holder is still there.
    EXPECT_FALSE(holder->wait_for(milliseconds(0)));
}

// The winget manifest written beside the installer names this installer by
// its SHA-256 and parses as YAML with the fields winget requires.
TEST(WingetManifest, NamesTheInstallerBesideIt) {
    const fs::path dir = installer().parent_path() / "winget";
    const std::string check = R"(
import hashlib, sys, yaml
d, setup = sys.argv[1], sys.argv[2]
docs = {t: yaml.safe_load(open(f"{d}/Hearthpad.Hearthpad{s}.yaml", encoding="utf-8"))
        for t, s in (("version", ""), ("installer", ".installer"), ("defaultLocale", ".locale.en-US"))}
for t, doc in docs.items():
    assert doc["ManifestType"] == t and doc["ManifestVersion"] == "1.6.0", t
    assert doc["PackageIdentifier"] == "Hearthpad.Hearthpad", t
inst = docs["installer"]
assert inst["InstallerType"] == "nullsoft" and inst["Scope"] == "machine", inst
(entry,) = inst["Installers"]
want = hashlib.sha256(open(setup, "rb").read()).hexdigest().upper()
assert entry["InstallerSha256"] == want, (entry["InstallerSha256"], want)
assert entry["InstallerUrl"].endswith("/" + setup.rsplit("/", 1)[1]), entry["InstallerUrl"]
assert inst["ProductCode"] == "Hearthpad"
print("ok")
)";
    const auto out = run_here("python3 -c " + quoted(check) + " " + quoted(dir.string()) + " " +
                              quoted(installer().string()));
    EXPECT_EQ(out.status, 0) << out.text;
}

struct UninstallCase {
    const char* name;
    bool runValueIsOurs;  // the Run value names the installed program
    bool taskIsOurs;      // the task's command is the installed program
};

class Uninstall : public Installer, public ::testing::WithParamInterface<UninstallCase> {};

TEST_P(Uninstall, TakesAwayWhatItAddedAndKeepsTheData) {
    const UninstallCase& param = GetParam();
    open_case(std::string("uninstall-") + param.name);
    auto installed = case_->run({setup(), "/S", "/NOSTART"});
    ASSERT_TRUE(installed) << installed.error().text;
    ASSERT_EQ(installed->status, 0) << installed->text;

    const std::string ours = "\"" + std::string(kInstalledExe) + "\" --background";
    const std::string theirs = "\"C:\\Tools\\Hearthpad\\hearthpad.exe\" --background";
    const std::string runValue = param.runValueIsOurs ? ours : theirs;
    auto added = case_->wine().run_windows({"reg", "add", kRunKey, "/v", "Hearthpad", "/d", runValue, "/f"},
                                           seconds(60));
    ASSERT_TRUE(added && added->status == 0);

    // What schtasks /Query /XML answers for the task.
    const std::string command = param.taskIsOurs ? kInstalledExe : "C:\\Tools\\Hearthpad\\hearthpad.exe";
    const fs::path taskXml = case_->prefix_path("C:\\task.xml");
    std::ofstream(taskXml, std::ios::binary)
        << "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<Task><Actions Context=\"Author\"><Exec><Command>"
        << command << "</Command><Arguments>--background</Arguments></Exec></Actions></Task>\r\n";

    // Something of the user's in the data folder (the host keeps its own
    // files there too).
    std::ofstream(case_->data_dir() / "kept.txt") << "mine";
    auto host = case_->wine().start(case_->install_dir() / "hearthpad.exe", case_->data_dir(), {"--background"});
    ASSERT_TRUE(host) << host.error().text;
    ASSERT_TRUE(case_->wine().wait_for_host(*host, kHostLimit));
    std::error_code ec;
    fs::remove(case_->calls(), ec);

    auto result = case_->run({"C:\\Program Files\\Hearthpad\\uninstall.exe", "/S"},
                             {{"HP_STUB_SCHTASKS_QUERY_FILE", "C:\\task.xml"}});
    ASSERT_TRUE(result) << result.error().text;
    EXPECT_EQ(result->status, 0) << result->text;
    ASSERT_TRUE(case_->wait_for_key_gone(seconds(90))) << "the uninstall entry is still there";
    const auto status = host->wait_for(seconds(30));
    ASSERT_TRUE(status) << "the running host did not exit";
    EXPECT_EQ(*status, 0);

    for (const auto& file : kInstalledFiles) EXPECT_FALSE(fs::exists(case_->install_dir() / file)) << file;
    EXPECT_FALSE(fs::exists(case_->install_dir()));
    EXPECT_FALSE(fs::exists(case_->shortcut()));
    EXPECT_TRUE(case_->key_values(kUninstallKey).empty());
    // The policy the helper set is put back as it was: absent.
    EXPECT_FALSE(case_->key_values(kPolicyKey).contains("SoftwareSASGeneration"));

    const std::vector<std::string> netsh = calls_starting(case_->calls(), "advfirewall");
    EXPECT_EQ(netsh, (std::vector<std::string>{tabbed({"advfirewall", "firewall", "delete", "rule", "name=Hearthpad",
                                                        "program=" + std::string(kInstalledExe)})}));
    const std::vector<std::string> deletes = calls_starting(case_->calls(), "/Delete");
    if (param.taskIsOurs) {
        // The stand-in prints the same definition for the user's own task
        // ("HearthpadHost-<SID>") and the name all users shared before:
        // both go.
        ASSERT_EQ(deletes.size(), 2u);
        EXPECT_TRUE(deletes[0].starts_with(tabbed({"/Delete", "/TN", "HearthpadHost-S-1-5-"}))) << deletes[0];
        EXPECT_EQ(deletes[1], tabbed({"/Delete", "/TN", "HearthpadHost", "/F"}));
    } else {
        EXPECT_TRUE(deletes.empty());
    }

    auto run = case_->key_values(kRunKey);
    if (param.runValueIsOurs) {
        EXPECT_FALSE(run.contains("Hearthpad")) << run["Hearthpad"];
    } else {
        EXPECT_EQ(run["Hearthpad"], theirs);
    }
    // Paired devices and settings stay unless asked for.
    EXPECT_EQ(read_file(case_->data_dir() / "kept.txt"), "mine");
    EXPECT_TRUE(fs::exists(case_->data_dir() / "host_identity.bin"));
}

INSTANTIATE_TEST_SUITE_P(Cases, Uninstall,
                         ::testing::Values(UninstallCase{"ours", true, true},
                                           UninstallCase{"someone-elses", false, false}),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             for (char& c : n)
                                 if (c == '-') c = '_';
                             return n;
                         });

#if defined(HP_SIGNED_INSTALLER) && defined(HP_SIGNING_CA)
// A build signed with a throwaway certificate (scripts/test.sh makes one):
// the installer, both programs inside, the helper and the uninstaller the
// installer writes all carry a signature that chains to it.
TEST_F(Installer, SignedBuildVerifiesAgainstItsCertificate) {
    const fs::path ca = HP_SIGNING_CA;
    auto verify = [&](const fs::path& file) {
        return run_here("osslsigncode verify -CAfile " + quoted(ca.string()) + " -in " + quoted(file.string()));
    };
    const fs::path signedSetup = HP_SIGNED_INSTALLER;
    const auto setupCheck = verify(signedSetup);
    EXPECT_EQ(setupCheck.status, 0) << setupCheck.text;

    open_case("signed");
    auto result = case_->run({windows_path(signedSetup), "/S", "/NOSTART"});
    ASSERT_TRUE(result) << result.error().text;
    ASSERT_EQ(result->status, 0) << result->text;
    for (const char* file : {"hearthpad.exe", "hearthpad-client.exe", "hearthpad-sas.exe", "uninstall.exe"}) {
        const auto check = verify(case_->install_dir() / file);
        EXPECT_EQ(check.status, 0) << file << ":\n" << check.text;
    }

    // The portable zip beside it carries the signed program too.
    const fs::path zip = signedSetup.parent_path() / (signedSetup.filename().string().replace(
                                                          signedSetup.filename().string().find("-setup.exe"), 10,
                                                          "-win64.zip"));
    const fs::path unpacked = fs::path(HP_E2E_DIR) / "installer" / "signed-zip";
    fs::remove_all(unpacked);
    const auto unzip = run_here("unzip -q -o " + quoted(zip.string()) + " hearthpad.exe -d " + quoted(unpacked.string()));
    ASSERT_EQ(unzip.status, 0) << unzip.text;
    const auto zipCheck = verify(unpacked / "hearthpad.exe");
    EXPECT_EQ(zipCheck.status, 0) << zipCheck.text;

    // The unsigned build carries no signature at all.
    EXPECT_NE(verify(installer()).status, 0);
}
#endif

// ------------------------------------------------------------ later cases

std::uintmax_t bytes_under(const fs::path& dir) {
    std::uintmax_t total = 0;
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(dir, ec))
        if (entry.is_regular_file()) total += entry.file_size();
    return total;
}

// A folder outside Program Files inherits what its parent allows (at the
// root of a drive, any signed-in user may change its files), yet holds a
// program the helper service runs as LocalSystem. Setup makes it writable
// by administrators only, with the system's icacls and well-known SIDs,
// before it writes anything there; when that fails it refuses the folder.
TEST_F(Installer, ACustomFolderIsMadeAdministratorsOnlyBeforeAnythingIsWrittenIntoIt) {
    open_case("custom-folder", InstallerCase::Shell::Absent);
    const std::string folder = "C:\\Hearthpad";
    const fs::path ran = case_->calls().parent_path() / "ran.log";
    const std::map<std::string, std::string> watch{{"HP_STUB_PROBE_FILE", folder + "\\hearthpad.exe"},
                                                   {"HP_STUB_RAN_LOG", windows_path(ran)}};
    std::error_code ec;
    fs::remove(ran, ec);

    // icacls fails (as on a file system without permissions): refused.
    auto failing = watch;
    failing["HP_STUB_SCHTASKS_EXIT"] = "5";
    auto refused = case_->run({setup(), "/S", "/NOSTART", "/D=" + folder}, failing);
    ASSERT_TRUE(refused) << refused.error().text;
    EXPECT_EQ(refused->status, 3) << refused->text;
    EXPECT_FALSE(fs::exists(case_->prefix_path(folder))) << "the folder it made is left";
    EXPECT_TRUE(case_->key_values(kUninstallKey).empty());
    EXPECT_TRUE(calls_starting(case_->calls(), "advfirewall").empty());

    fs::remove(case_->calls(), ec);
    fs::remove(ran, ec);
    auto result = case_->run({setup(), "/S", "/NOSTART", "/D=" + folder}, watch);
    ASSERT_TRUE(result) << result.error().text;
    ASSERT_EQ(result->status, 0) << result->text;

    // Each call on the folder, and what the folder held when it ran.
    std::vector<std::string> acl;
    const std::vector<std::string> lines = lines_of(read_file(case_->calls()));
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].starts_with(folder + "\t")) acl.push_back((i > 0 ? lines[i - 1] : "") + " | " + lines[i]);
    const std::string before = "probe absent | ";
    EXPECT_EQ(acl, (std::vector<std::string>{
                       before + tabbed({folder, "/reset"}),
                       before + tabbed({folder, "/inheritance:r", "/grant:r", "*S-1-5-18:(OI)(CI)F",
                                        "*S-1-5-32-544:(OI)(CI)F", "*S-1-5-32-545:(OI)(CI)RX"}),
                       before + tabbed({folder, "/setowner", "*S-1-5-32-544", "/T"}),
                   }));
    // The system's own icacls, named by its full path.
    for (const std::string& program : lines_of(read_file(ran))) {
        if (program.ends_with("icacls.exe")) {
            EXPECT_EQ(program, "C:\\windows\\system32\\icacls.exe");
        }
    }

    const fs::path installed = case_->prefix_path(folder);
    for (const auto& file : kInstalledFiles) EXPECT_TRUE(fs::is_regular_file(installed / file)) << file;
}

bool service_registered(InstallerCase& c) {
    return !c.key_values("HKLM\\System\\CurrentControlSet\\Services\\HearthpadSas").empty();
}

// The Ctrl+Alt+Del helper left out stays out when a later setup (silent,
// as winget runs it) replaces the install, until it is asked for again. The
// size the uninstall entry gives counts what each install left, the
// helper's program included.
TEST_F(Installer, AnUpgradeKeepsTheCtrlAltDelHelperChoice) {
    open_case("helper-choice", InstallerCase::Shell::Absent);
    const struct {
        const char* step;
        std::vector<std::string> options;
        bool helper;
    } steps[] = {
        {"first install", {}, true},
        {"left out", {"/CTRLALTDEL=no"}, false},
        {"upgrade", {}, false},
        {"asked for again", {"/CTRLALTDEL=yes"}, true},
        {"upgrade after that", {}, true},
    };
    for (const auto& step : steps) {
        std::vector<std::string> argv{setup(), "/S", "/NOSTART"};
        argv.insert(argv.end(), step.options.begin(), step.options.end());
        auto result = case_->run(argv);
        ASSERT_TRUE(result) << step.step << ": " << result.error().text;
        ASSERT_EQ(result->status, 0) << step.step << ":\n" << result->text;
        EXPECT_EQ(fs::exists(case_->install_dir() / "hearthpad-sas.exe"), step.helper) << step.step;
        EXPECT_EQ(service_registered(*case_), step.helper) << step.step;
        // The policy the helper needs is there only with the helper (it
        // was absent in the fresh prefix).
        EXPECT_EQ(case_->key_values(kPolicyKey).contains("SoftwareSASGeneration"), step.helper) << step.step;
        const auto values = case_->key_values(kUninstallKey);
        ASSERT_TRUE(values.contains("EstimatedSize")) << step.step;
        const std::uintmax_t kilobytes = bytes_under(case_->install_dir()) / 1024;
        EXPECT_GE(std::stoull(values.at("EstimatedSize"), nullptr, 16), kilobytes) << step.step;
        EXPECT_LE(std::stoull(values.at("EstimatedSize"), nullptr, 16), kilobytes + 1) << step.step;
    }
}

// The uninstall entry's command (what winget and Apps & features run) makes
// its caller wait for the real work and hands back its exit code: 2 while a
// host it cannot close runs, everything staying; 0 once that host is gone,
// the uninstall entry removed by then and the folder, the uninstaller
// included, a moment later.
TEST_F(Installer, TheUninstallEntryHandsBackTheRealExitCode) {
    open_case("uninstall-exit-code", InstallerCase::Shell::Absent);
    auto installed = case_->run({setup(), "/S", "/NOSTART"});
    ASSERT_TRUE(installed) << installed.error().text;
    ASSERT_EQ(installed->status, 0) << installed->text;
    const std::string quiet = case_->key_values(kUninstallKey)["QuietUninstallString"];
    ASSERT_FALSE(quiet.empty());

    auto holder = case_->wine().start(stub_dir() / "mutex_holder.exe", case_->data_dir(),
                                      {"Global\\HearthpadHostSingletonMutex", "300000"});
    ASSERT_TRUE(holder) << holder.error().text;
    std::this_thread::sleep_for(seconds(3));
    auto blocked = case_->run_command_line(quiet);
    ASSERT_TRUE(blocked) << blocked.error().text;
    EXPECT_EQ(blocked->status, 2) << blocked->text;
    for (const auto& file : kInstalledFiles) EXPECT_TRUE(fs::exists(case_->install_dir() / file)) << file;
    EXPECT_FALSE(case_->key_values(kUninstallKey).empty());

    holder->kill();
    auto removed = case_->run_command_line(quiet);
    ASSERT_TRUE(removed) << removed.error().text;
    EXPECT_EQ(removed->status, 0) << removed->text;
    EXPECT_TRUE(case_->key_values(kUninstallKey).empty());
    const auto deadline = std::chrono::steady_clock::now() + seconds(30);
    while (fs::exists(case_->install_dir()) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(200));
    EXPECT_FALSE(fs::exists(case_->install_dir())) << "the folder is left";
}

}  // namespace
}  // namespace hp::e2e
