// The program's layers, read from the include lines: every include points down, and nothing
// below the window includes Qt. The picture is the README's; this keeps it true.
//
//   app      -> scope, dsp, vistrel, model, platform
//   scope    -> dsp, model, platform
//   dsp      -> model
//   vistrel  -> platform
//   model, platform -> nothing
//   sim, adapters (driver libraries) -> nothing of the program
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::map<std::string, std::set<std::string>>& Allowed_below() {
    static const std::map<std::string, std::set<std::string>> allowed = {
        {"app", {"scope", "dsp", "vistrel", "model", "platform"}},
        {"scope", {"dsp", "model", "platform"}},
        {"dsp", {"model"}},
        {"vistrel", {"platform"}},
        {"model", {}},
        {"platform", {}},
        {"sim", {}},
        {"adapters", {}},
    };
    return allowed;
}

struct Include {
    char opener;  // '<' or '"'
    std::string target;
};

// The file an #include line names (spaces allowed around '#'), or nothing for other lines.
std::optional<Include> Parse_include(const std::string& line) {
    std::size_t i = line.find_first_not_of(" \t");
    if (i == std::string::npos || line[i] != '#')
        return std::nullopt;
    i = line.find_first_not_of(" \t", i + 1);
    if (i == std::string::npos || line.compare(i, 7, "include") != 0)
        return std::nullopt;
    i = line.find_first_not_of(" \t", i + 7);
    if (i == std::string::npos || (line[i] != '<' && line[i] != '"'))
        return std::nullopt;
    const char closer = line[i] == '<' ? '>' : '"';
    const std::size_t end = line.find(closer, i + 1);
    if (end == std::string::npos)
        return std::nullopt;
    return Include{line[i], line.substr(i + 1, end - i - 1)};
}

// One line per include that breaks the picture: "scope/x.cpp: app/dialogs.h".
std::vector<std::string> Layer_violations(const fs::path& root) {
    std::vector<std::string> found;
    for (const auto& [folder, below] : Allowed_below()) {
        if (!fs::is_directory(root / folder))
            continue;
        for (const auto& entry : fs::recursive_directory_iterator(root / folder)) {
            const std::string ext = entry.path().extension().string();
            if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp"))
                continue;
            std::ifstream in(entry.path());
            std::string line;
            const std::string where = fs::relative(entry.path(), root).generic_string();
            while (std::getline(in, line)) {
                const auto include = Parse_include(line);
                if (!include)
                    continue;
                const std::string& target = include->target;
                if (include->opener == '<') {
                    if (folder != "app" && !target.empty() && target[0] == 'Q')
                        found.push_back(where + ": <" + target + ">");
                    continue;
                }
                const auto slash = target.find('/');
                const std::string top = slash == std::string::npos ? "" : target.substr(0, slash);
                if (top.empty() || top == folder || !Allowed_below().contains(top))
                    continue;
                if (!below.contains(top))
                    found.push_back(where + ": " + target);
            }
        }
    }
    return found;
}

TEST(Layers, EveryIncludeOfTheTreePointsDown) {
    const fs::path source = std::getenv("HP_SOURCE_DIR");
    const auto found = Layer_violations(source);
    EXPECT_TRUE(found.empty()) << ::testing::PrintToString(found);
    // The check looked at the tree it was meant to.
    EXPECT_TRUE(fs::exists(source / "scope" / "scope_link.cpp"));
}

TEST(Layers, UpwardIncludesAndQtBelowTheWindowAreFound) {
    const fs::path root = fs::temp_directory_path() / ("hp_layers_" + std::to_string(getpid()));
    fs::remove_all(root);
    const std::map<std::string, std::string> files = {
        {"scope/link.cpp", "#include \"app/window_state.h\"\n#include \"dsp/fft.h\"\n"},
        {"dsp/fft.h", "#include \"model/waveform.h\"\n# include \"scope/waveform.h\"\n"},
        {"vistrel/axes.cpp", "#include <QPainter>\n#include <cmath>\n#include \"platform/p.h\"\n"},
        {"platform/platform.cpp", "#include \"platform/platform.h\"\n#include <string>\n"},
        {"sim/exports.cpp", "#include \"scope/gpib_defs.h\"\n"},
        {"app/window.cpp", "#include <QWidget>\n#include \"vistrel/axes.h\"\n"},
    };
    for (const auto& [path, text] : files) {
        fs::create_directories((root / path).parent_path());
        std::ofstream(root / path) << text;
    }
    auto found = Layer_violations(root);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{
                         "dsp/fft.h: scope/waveform.h", "scope/link.cpp: app/window_state.h",
                         "sim/exports.cpp: scope/gpib_defs.h", "vistrel/axes.cpp: <QPainter>"}));
    fs::remove_all(root);
}

}  // namespace
