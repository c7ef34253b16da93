// The program's layers, read from the include lines: every include points down, and nothing
// below the window includes Qt. The picture is the README's; this keeps it true.
//
//   app      -> scope, dsp, vistrel, model, platform
//   scope    -> dsp, model, platform
//   dsp      -> model
//   vistrel  -> platform
//   model, platform -> nothing
//   sim, adapters (driver libraries) -> nothing of the program
//
// Inside app, one folder per concern, main.cpp above them all:
//   capture -> window -> output -> connect, picture -> canvas, examine (zoom, cursors, Run)
//   capture, window -> analysis (the measurements), reopen (saved captures) -> picture, canvas
// so the canvases include nothing of the window, the outputs nothing of the window's widgets,
// and the connection choice nothing of the picture.
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

// The folders of app and the folders of app each may include besides its own; app's root
// (main.cpp) may include them all. A new folder needs its line here.
const std::map<std::string, std::set<std::string>>& App_allowed_below() {
    static const std::map<std::string, std::set<std::string>> allowed = {
        {"capture",
         {"window", "analysis", "reopen", "output", "connect", "picture", "canvas", "examine"}},
        {"window", {"analysis", "reopen", "output", "connect", "picture", "canvas", "examine"}},
        {"analysis", {"picture", "canvas"}},
        {"reopen", {"picture", "canvas"}},
        {"output", {"connect", "picture", "canvas", "examine"}},
        {"connect", {}},
        {"picture", {"canvas", "examine"}},
        {"canvas", {}},
        {"examine", {}},
    };
    return allowed;
}

// The folder under app/ of a path inside app ("window" for "window/main_window.h"); empty at
// app's root.
std::string App_folder(const std::string& inside_app) {
    const auto slash = inside_app.find('/');
    return slash == std::string::npos ? "" : inside_app.substr(0, slash);
}

// Why an include from one file of app to another breaks the order, or nothing.
std::optional<std::string> App_violation(const std::string& from, const std::string& target) {
    const std::string from_folder = App_folder(from.substr(4));
    if (from_folder.empty())
        return std::nullopt;
    const auto rule = App_allowed_below().find(from_folder);
    if (rule == App_allowed_below().end())
        return "app/" + from_folder + "/ has no rule";
    const std::string to_folder = App_folder(target.substr(4));
    if (to_folder == from_folder || rule->second.contains(to_folder))
        return std::nullopt;
    return target;
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
                if (folder == "app" && top == "app") {
                    if (const auto why = App_violation(where, target))
                        found.push_back(where + ": " + *why);
                    continue;
                }
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
    EXPECT_TRUE(fs::exists(source / "app" / "window" / "main_window.cpp"));
}

TEST(Layers, UpwardIncludesAndQtBelowTheWindowAreFound) {
    const fs::path root = fs::temp_directory_path() / ("hp_layers_" + std::to_string(getpid()));
    fs::remove_all(root);
    const std::map<std::string, std::string> files = {
        {"scope/link.cpp", "#include \"app/picture/window_state.h\"\n#include \"dsp/fft.h\"\n"},
        {"dsp/fft.h", "#include \"model/waveform.h\"\n# include \"scope/waveform.h\"\n"},
        {"vistrel/axes.cpp", "#include <QPainter>\n#include <cmath>\n#include \"platform/p.h\"\n"},
        {"platform/platform.cpp", "#include \"platform/platform.h\"\n#include <string>\n"},
        {"sim/exports.cpp", "#include \"scope/gpib_defs.h\"\n"},
        {"app/window/window.cpp", "#include <QWidget>\n#include \"vistrel/axes.h\"\n"},
        {"app/main.cpp", "#include \"app/capture/capture.h\"\n"},
        {"app/canvas/qt_canvas.h", "#include \"app/window/paint_box.h\"\n"},
        {"app/output/csv.cpp",
         "#include \"app/window/main_window.h\"\n"
         "#include \"app/picture/display.h\"\n#include \"app/output/x.h\"\n"},
        {"app/connect/connection.cpp", "#include \"app/picture/display.h\"\n"},
        {"app/picture/display.cpp", "#include \"app/canvas/qt_canvas.h\"\n"},
        {"app/capture/capture.cpp", "#include \"app/window/main_window.h\"\n"},
        {"app/newfolder/thing.cpp", "#include \"app/canvas/qt_canvas.h\"\n"},
    };
    for (const auto& [path, text] : files) {
        fs::create_directories((root / path).parent_path());
        std::ofstream(root / path) << text;
    }
    auto found = Layer_violations(root);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found,
              (std::vector<std::string>{
                  "app/canvas/qt_canvas.h: app/window/paint_box.h",
                  "app/connect/connection.cpp: app/picture/display.h",
                  "app/newfolder/thing.cpp: app/newfolder/ has no rule",
                  "app/output/csv.cpp: app/window/main_window.h", "dsp/fft.h: scope/waveform.h",
                  "scope/link.cpp: app/picture/window_state.h",
                  "sim/exports.cpp: scope/gpib_defs.h", "vistrel/axes.cpp: <QPainter>"}));
    fs::remove_all(root);
}

}  // namespace
