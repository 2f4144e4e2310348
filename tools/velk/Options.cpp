#include "Options.h"

#include <cctype>

namespace velk {

const char* UsageText()
{
    return "Usage: velk list [--all] [--json] [--plugins DIR]\n"
           "       velk scan [LETTER ...|--all] [--image PATH ...] [--json]\n"
           "                 [--summary] [--dump] [--report] [-C DIR] [--plugins DIR]\n"
           "       velk attach PATH | detach PATH\n"
           "       velk --help | --version\n"
           "\n"
           "Measures how fragmented file systems are, as one velk level per volume\n"
           "(0.0: no fragmentation at all).\n"
           "\n"
           "  list           the volumes that can be scanned (fixed drives; --all adds\n"
           "                 removable and remote ones)\n"
           "  scan           scans the volumes named by letter (C or C:), all listed\n"
           "                 volumes (--all), or the fixed ones when none is named\n"
           "  --image PATH   scans a disk image without attaching it for good\n"
           "  attach         gives a disk image (a whole file system in a file) a drive\n"
           "                 letter that later runs keep, so list and scan show it\n"
           "  detach         forgets an attached image (the file itself is kept)\n"
           "  --json         one JSON document on stdout\n"
           "  --summary      writes the summary file (ombrix.sum.*.txt)\n"
           "  --dump         writes the extent dump (Vlm-*.txt)\n"
           "  --report       writes the problem report (ombrix.err.*.xml) when there\n"
           "                 is a problem to report\n"
           "  -C DIR         writes report files into DIR (default: current folder)\n"
           "  --plugins DIR  loads the volume-system plug-ins from DIR\n"
           "\n"
           "Exit status: 0 done, 1 a volume could not be opened, a scan was stopped or\n"
           "there was no volume to scan, 2 usage error. Ctrl-C stops a scan and prints\n"
           "its partial results.\n"
           "Environment: VELKLEVEL2_VOLUME_TABLE names a file that replaces the\n"
           "machine's volume table.\n";
}

bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error)
{
    *options = Options{};
    std::size_t i = 0;
    const auto value = [&](const std::string& name, std::string* out) {
        if (i + 1 >= args.size() || args[i + 1].empty()) {
            *error = name + " needs a value";
            return false;
        }
        *out = args[++i];
        return true;
    };
    if (args.empty()) {
        *error = "no command given";
        return false;
    }
    const std::string& first = args[0];
    if (first == "--help" || first == "-h" || first == "help") {
        options->command = Command::Help;
        return true;
    }
    if (first == "--version") {
        options->command = Command::Version;
        return true;
    }
    if (first == "attach" || first == "detach") {
        options->command = first == "attach" ? Command::Attach : Command::Detach;
        if (args.size() != 2 || args[1].empty()) {
            *error = first + " takes one image path";
            return false;
        }
        options->images.push_back(args[1]);
        return true;
    }
    if (first == "list")
        options->command = Command::List;
    else if (first == "scan")
        options->command = Command::Scan;
    else {
        *error = "unknown command '" + first + "'";
        return false;
    }
    const bool scan = options->command == Command::Scan;
    for (i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string path;
        if (a == "--help" || a == "-h") {
            options->command = Command::Help;
            return true;
        } else if (a == "--all") {
            options->all = true;
        } else if (a == "--json") {
            options->json = true;
        } else if (a == "--plugins") {
            if (!value(a, &options->pluginFolder))
                return false;
        } else if (scan && a == "--summary") {
            options->summary = true;
        } else if (scan && a == "--dump") {
            options->dump = true;
        } else if (scan && a == "--report") {
            options->report = true;
        } else if (scan && a == "-C") {
            if (!value(a, &options->directory))
                return false;
        } else if (scan && a == "--image") {
            if (!value(a, &path))
                return false;
            options->images.push_back(path);
        } else if (scan && (a.size() == 1 || (a.size() == 2 && a[1] == ':')) && std::isalpha(static_cast<unsigned char>(a[0]))) {
            const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(a[0])));
            if (letter < 'C') {
                *error = "drive " + std::string(1, letter) + ": is never listed";
                return false;
            }
            options->letters.push_back(letter);
        } else {
            *error = "unknown argument '" + a + "'";
            return false;
        }
    }
    if (options->all && !options->letters.empty()) {
        *error = "give drive letters or --all, not both";
        return false;
    }
    return true;
}

} // namespace velk
