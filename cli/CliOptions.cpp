#include "cli/CliOptions.h"

#include "link/cp2110/Cp2110Bridge.h"
#include "link/serial/SerialBridge.h"

#include <array>
#include <charconv>
#include <string_view>

namespace kestrun::cli {
namespace {

struct CommandName {
    const char* word;
    Command command;
};

constexpr std::array<CommandName, 10> CommandNames = {{
    {"devices", Command::Devices},
    {"get", Command::Get},
    {"send", Command::Send},
    {"show", Command::Show},
    {"upgrade", Command::Upgrade},
    {"check-hex", Command::CheckHex},
    {"diff", Command::Diff},
    {"set", Command::Set},
    {"convert", Command::Convert},
    {"loopback", Command::Loopback},
}};

// A loopback of more blocks than this is a soak test, not a check of a cable.
constexpr uint32_t MaxLoopbackBlocks = 100000;

ParseResult failure(std::string message) {
    return ParseResult{std::nullopt, std::move(message)};
}

bool isHelp(std::string_view word) {
    return word == "--help" || word == "-h";
}

// A rate the serial port can be set to; anything else is refused here, not when the port opens.
std::optional<uint32_t> parseBaud(std::string_view text) {
    uint32_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// Splits "--name=value" into its two halves; a word without '=' has no value.
std::pair<std::string_view, std::optional<std::string_view>> splitValue(std::string_view word) {
    auto eq = word.find('=');
    if (eq == std::string_view::npos || !word.starts_with("--")) {
        return {word, std::nullopt};
    }
    return {word.substr(0, eq), word.substr(eq + 1)};
}

} // namespace

ParseResult parseCommandLine(const std::vector<std::string>& args) {
    for (const std::string& word : args) {
        if (word == "--") {
            break;
        }
        if (isHelp(word)) {
            return ParseResult{CliOptions{}, {}};
        }
        if (word == "--version") {
            CliOptions version;
            version.command = Command::Version;
            return ParseResult{version, {}};
        }
    }

    CliOptions options;
    bool sawBaud = false;
    std::size_t i = 0;
    // The bridge options come before the command.
    for (; i < args.size() && args[i].starts_with("-"); ++i) {
        auto [name, inlineValue] = splitValue(args[i]);
        auto takeValue = [&]() -> std::optional<std::string> {
            if (inlineValue) {
                return std::string(*inlineValue);
            }
            if (i + 1 >= args.size()) {
                return std::nullopt;
            }
            return args[++i];
        };
        if (name == "--verbose" && !inlineValue) {
            options.verbose = true;
        } else if (name == "--simulate" && !inlineValue) {
            if (options.bridge == BridgeChoice::Port) {
                return failure("--simulate and --port cannot be used together");
            }
            options.bridge = BridgeChoice::Simulate;
        } else if (name == "--port") {
            if (options.bridge == BridgeChoice::Simulate) {
                return failure("--simulate and --port cannot be used together");
            }
            auto device = takeValue();
            if (!device || device->empty()) {
                return failure("--port needs a DEVICE");
            }
            options.bridge = BridgeChoice::Port;
            options.port = *device;
        } else if (name == "--baud") {
            auto value = takeValue();
            if (!value) {
                return failure("--baud needs a rate");
            }
            auto baud = parseBaud(*value);
            if (!baud) {
                return failure("--baud: '" + *value + "' is not a number");
            }
            options.baud = *baud;
            sawBaud = true;
        } else {
            return failure("unknown option '" + args[i] + "'");
        }
    }
    if (sawBaud && options.bridge == BridgeChoice::Simulate) {
        return failure("--baud is not used with --simulate");
    }
    // A rate the chosen bridge cannot run at is refused here, whatever the command.
    const bool port = options.bridge == BridgeChoice::Port;
    if (sawBaud && !(port ? SerialBridge::isSupportedBaud(options.baud)
                          : Cp2110Bridge::isSupportedBaud(options.baud))) {
        return failure("--baud: " + (port ? SerialBridge::baudProblem(options.baud)
                                          : Cp2110Bridge::baudProblem(options.baud)));
    }
    if (i >= args.size()) {
        return failure("no command given");
    }

    const std::string& word = args[i++];
    bool known = false;
    for (const CommandName& entry : CommandNames) {
        if (word == entry.word) {
            options.command = entry.command;
            known = true;
        }
    }
    if (!known) {
        return failure("unknown command '" + word + "'");
    }

    std::vector<std::string> operands;
    bool optionsEnded = false;
    for (; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg == "-" || !arg.starts_with("-")) {
            operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        auto [name, inlineValue] = splitValue(arg);
        const Command c = options.command;
        if (name == "--json" && !inlineValue &&
            (c == Command::Get || c == Command::Show || c == Command::Diff)) {
            options.json = true;
        } else if (name == "--dry-run" && !inlineValue && c == Command::Set) {
            options.dryRun = true;
        } else if (name == "--force" && !inlineValue && c == Command::Upgrade) {
            options.force = true;
        } else if (name == "--count" && c == Command::Loopback) {
            const std::string value = inlineValue           ? std::string(*inlineValue)
                                      : i + 1 < args.size() ? args[++i]
                                                            : std::string();
            uint32_t count = 0;
            const auto [end, ec] =
                std::from_chars(value.data(), value.data() + value.size(), count);
            if (ec != std::errc() || end != value.data() + value.size() || count == 0 ||
                count > MaxLoopbackBlocks) {
                return failure("--count: '" + value + "' is not a number from 1 to " +
                               std::to_string(MaxLoopbackBlocks));
            }
            options.count = count;
        } else if ((name == "-o" || name == "--output") && c == Command::Get) {
            if (inlineValue) {
                options.outputFile = std::string(*inlineValue);
            } else if (i + 1 < args.size()) {
                options.outputFile = args[++i];
            }
            if (options.outputFile.empty()) {
                return failure("-o needs a FILE");
            }
        } else if (name == "--simulate" || name == "--port" || name == "--baud" ||
                   name == "--verbose") {
            return failure(std::string(name) + " goes before the command");
        } else {
            return failure("unknown option '" + arg + "' for " + word);
        }
    }

    const bool takesFile = options.command == Command::Send || options.command == Command::Show ||
                           options.command == Command::Upgrade ||
                           options.command == Command::CheckHex;
    if (takesFile) {
        if (operands.size() != 1) {
            return failure(word + (operands.empty() ? " needs a FILE" : " takes one FILE"));
        }
        options.file = operands.front();
        if (options.file.empty()) {
            return failure(word + " needs a FILE");
        }
    } else if (options.command == Command::Diff || options.command == Command::Convert) {
        const bool diff = options.command == Command::Diff;
        if (operands.empty() || operands.size() > 2 || (!diff && operands.size() != 2)) {
            return failure(word + (diff ? " takes FILE or FILE1 FILE2" : " takes IN and OUT"));
        }
        options.file = operands.front();
        options.secondFile = operands.size() == 2 ? operands.back() : std::string();
        if (options.file.empty() || (operands.size() == 2 && options.secondFile.empty())) {
            return failure(word + " needs a FILE");
        }
    } else if (options.command == Command::Set) {
        if (operands.empty()) {
            return failure("set needs NAME=VALUE");
        }
        options.assignments = operands;
    } else if (!operands.empty()) {
        return failure(word + " takes no operand ('" + operands.front() + "')");
    }
    return ParseResult{options, {}};
}

} // namespace kestrun::cli
