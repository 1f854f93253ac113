#include "client/cli.h"

#include <charconv>

namespace hp::client {

Result<Invocation> parse_command_line(std::span<const std::string> args) {
    Invocation inv;
    bool optionsEnded = false;
    std::vector<std::string> words;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || !a.starts_with("--")) {
            words.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        auto value = [&]() -> Result<std::string> {
            if (i + 1 >= args.size()) return fail(a + " needs a value");
            return args[++i];
        };
        if (a == "--udp") inv.options.udp = true;
        else if (a == "--trace") inv.options.trace = true;
        else if (a == "--no-mdns") inv.options.mdns = false;
        else if (a == "--paste") inv.options.paste = true;
        else if (a == "--copy") inv.options.copy = true;
        else if (a == "--dir" || a == "--host" || a == "--connect" || a == "--name" || a == "--timeout") {
            auto v = value();
            if (!v) return std::unexpected(v.error());
            if (a == "--dir") inv.options.dir = std::filesystem::path(*v);
            else if (a == "--host") inv.options.host = *v;
            else if (a == "--connect") inv.options.connect = *v;
            else if (a == "--name") inv.options.name = *v;
            else {
                unsigned seconds = 0;
                const auto [end, ec] = std::from_chars(v->data(), v->data() + v->size(), seconds);
                if (ec != std::errc() || end != v->data() + v->size() || seconds == 0 || seconds > 600)
                    return fail("--timeout takes a number of seconds from 1 to 600");
                inv.options.timeout = std::chrono::seconds(seconds);
            }
        } else if (a == "--help") {
            words.insert(words.begin(), "help");
        } else {
            return fail("unknown option " + a);
        }
    }
    if (words.empty()) return fail("no command given");
    inv.command = words.front();
    inv.args.assign(words.begin() + 1, words.end());
    return inv;
}

std::string usage_text() {
    return R"(usage: hearthpad-client [options] <command> [arguments]

Finding and pairing a host:
  discover [host]                 list hosts found by mDNS and, when a host is
                                  given, every port 49182..49192 on it that answers
  info [host:port]                show what a host says about itself
  pair <link> [code]              pair with the host of a pairing link
  pair <host:port> <code>         pair with a host and the code it shows

Once paired (each command connects, authenticates, acts and disconnects):
  type <text>                     type the text
  key <combo>                     press a key or combination: enter, f5, ctrl+shift+t
  move <dx> <dy>                  move the pointer by pixels
  click [left|right|middle]       click a mouse button (left when not given)
  scroll <y> [x]                  scroll (positive y away from the user)
  clip get [--copy]               print the host's clipboard (--copy: copy first)
  clip set <text> [--paste]       set the host's clipboard (--paste: paste it)
  media <key>                     volume-up, volume-down, mute, play-pause, next,
                                  previous, brightness-up, brightness-down
  lock                            lock the host's session
  sas                             send Ctrl+Alt+Del and print the host's answer
  pad on|off                      switch this client's gamepad output on or off
  ping [count]                    measure the round trip

Options:
  --dir <folder>      where the client keeps its identity and the paired host
                      (default: ~/.config/hearthpad-client, or
                      %APPDATA%\Hearthpad Client on Windows)
  --host <host:port>  talk to this address instead of the one used at pairing
  --connect <host:port>  pair: connect here instead of the link's addresses
  --name <name>       pair: the device name the host shows
  --udp               send input commands as UDP datagrams
  --timeout <s>       how long to wait for the host (default 5)
  --trace             print every frame and datagram on standard error
  --no-mdns           discover: probe the ports only

Exit status: 0 done, 1 failed, 2 usage error, 3 the host is not the paired one.
)";
}

}  // namespace hp::client
