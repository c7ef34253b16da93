// The picture on a real X clipboard: a child process draws a graph under Xvfb and copies it,
// and another program (xclip) reads it back as PNG while the child is still running.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/canvas/qt_canvas.h"
#include "vistrel/axes.h"
#include "vistrel/curves.h"
#include "vistrel/output.h"
#include "vistrel/state.h"

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 200;

// Starts Xvfb on a display of its own; returns its pid, or -1.
pid_t Start_xvfb(const std::string& display) {
    const pid_t pid = fork();
    if (pid == 0) {
        execlp("Xvfb", "Xvfb", display.c_str(), "-screen", "0", "640x480x24", "-nolisten", "tcp",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    const std::string socket = "/tmp/.X11-unix/X" + display.substr(1);
    for (int i = 0; i < 100 && access(socket.c_str(), F_OK) != 0; ++i) usleep(50000);
    return access(socket.c_str(), F_OK) == 0 ? pid : -1;
}

// The child: draws a red curve on white, copies it to the clipboard, says so on `ready`, and
// keeps serving the clipboard until it is killed (or for ten seconds).
[[noreturn]] void Hold_picture_on_clipboard(const std::string& display, int ready) {
    setenv("DISPLAY", display.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    int argc = 1;
    char name[] = "clipboard_holder";
    char* argv[] = {name, nullptr};
    QGuiApplication application(argc, argv);
    app::ImagePaintBox box(kWidth, kHeight);
    box.set_paint_handler([&box] {
        vistrel::InitPlotSurface(box, 0xFFFFFF, 0x000000, 1.0f);
        vistrel::DefineGraph(0, 100, 0, 100, 40, 0, 0, 40, true);
        vistrel::DrawXAxis(0, "x", false, 0, 10, 0, 0, false, false);
        vistrel::DrawYAxis(0, "y", 1, 0, 10, 0, 0, false, false, false);
        box.canvas().set_pen_width(2);
        box.canvas().set_pen_colour(0x0000FF);
        vistrel::PlotMoveTo(0, 0);
        vistrel::PlotLineTo(10, 10);
        vistrel::FinishPlot();
    });
    box.repaint();
    vistrel::CopyPlotToClipboard();
    if (write(ready, "1", 1) != 1)
        _exit(3);
    QTimer::singleShot(10000, &application, &QGuiApplication::quit);
    QGuiApplication::exec();
    _exit(0);
}

TEST(ClipboardUnderXvfb, AnotherProgramReadsThePicture) {
    const std::string display = ":" + std::to_string(200 + getpid() % 500);
    const pid_t xvfb = Start_xvfb(display);
    ASSERT_GT(xvfb, 0) << "Xvfb did not start on " << display;

    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        close(pipe_fds[0]);
        Hold_picture_on_clipboard(display, pipe_fds[1]);
    }
    close(pipe_fds[1]);
    char ready = 0;
    const bool copied = read(pipe_fds[0], &ready, 1) == 1;
    close(pipe_fds[0]);

    QByteArray png;
    if (copied) {
        const std::string command =
            "DISPLAY=" + display + " timeout 10 xclip -selection clipboard -t image/png -o";
        FILE* pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        char buffer[65536];
        size_t n = 0;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            png.append(buffer, static_cast<qsizetype>(n));
        EXPECT_EQ(pclose(pipe), 0);
    }
    kill(holder, SIGTERM);
    waitpid(holder, nullptr, 0);
    kill(xvfb, SIGTERM);
    waitpid(xvfb, nullptr, 0);

    ASSERT_TRUE(copied) << "the drawing process did not reach the clipboard";
    const QImage image = QImage::fromData(png, "PNG");
    ASSERT_FALSE(image.isNull()) << "xclip delivered no PNG (" << png.size() << " bytes)";
    EXPECT_EQ(image.size(), QSize(kWidth, kHeight));
    // White surface, black frame at the corner, the red curve somewhere on the diagonal.
    EXPECT_EQ(image.pixel(kWidth / 2, 5) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(image.pixel(0, 0) & 0xFFFFFF, 0x000000u);
    int red = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) red += (image.pixel(x, y) & 0xFFFFFF) == 0xFF0000u;
    EXPECT_GT(red, 100);
}

}  // namespace
