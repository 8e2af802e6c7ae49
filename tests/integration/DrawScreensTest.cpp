// Runs the real game in a virtual X display (Xvfb) with the demo world: with
// the profiler display on it presses the screenshot key through xdotool and
// checks the saved screenshot where the frame driver puts the closed
// console's lines and the profiler's table; the screenshot of a shown world
// holds the sky's colour bands in their order from the horizon up; in full
// screen, on a server without a window manager, it takes the screen's own
// picture (xwd) and checks that the game covers it from its top-left corner;
// with the game's own video settings (the full pipeline) the screenshot
// shows the demo world's north wall; with post-processing the bright panel
// on that wall glows onto the wall around it.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/Options.h"
#include "app/VideoConfig.h"
#include "platform/os/Os.h"
#include "tests/integration/BmpFile.h"
#include "tests/integration/GameProcess.h"

namespace fs = std::filesystem;

namespace {

bool OnPath(const char* tool) {
    const char* path = std::getenv("PATH");
    std::string p = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= p.size()) {
        size_t end = p.find(':', start);
        if (end == std::string::npos) end = p.size();
        if (fs::exists(fs::path(p.substr(start, end - start)) / tool)) return true;
        start = end + 1;
    }
    return false;
}

// Output of a shell command (first line), empty on failure.
std::string Shell(const std::string& command) {
    std::FILE* f = popen(command.c_str(), "r");
    if (!f) return {};
    char line[256] = {};
    std::string out = std::fgets(line, sizeof line, f) ? line : "";
    pclose(f);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

// A picture in X window dump format (what "xwd" writes): a big-endian header,
// the colour map, then rows of pixels in the server's byte order.
bool ReadXwd(const fs::path& file, Bmp* out) {
    std::ifstream in(file, std::ios::binary);
    std::string b((std::istreambuf_iterator<char>(in)), {});
    auto be32 = [&](size_t field) {
        const size_t at = field * 4;
        return uint32_t(uint8_t(b[at])) << 24 | uint32_t(uint8_t(b[at + 1])) << 16 |
               uint32_t(uint8_t(b[at + 2])) << 8 | uint32_t(uint8_t(b[at + 3]));
    };
    if (b.size() < 100 || be32(1) != 7 || be32(2) != 2) return false; // version 7, ZPixmap
    const uint32_t headerSize = be32(0), width = be32(4), height = be32(5), lsbFirst = be32(7) == 0;
    const uint32_t bytesPerLine = be32(12), colours = be32(19);
    const uint32_t red = be32(14), green = be32(15), blue = be32(16);
    if (width == 0 || height == 0 || width > 8192 || height > 8192 || bytesPerLine < width * 3) return false;
    const uint32_t pixelBytes = bytesPerLine / width >= 4 ? 4 : 3;
    const size_t offset = size_t(headerSize) + size_t(colours) * 12;
    if (b.size() < offset + size_t(bytesPerLine) * height) return false;
    auto channel = [](uint32_t v, uint32_t mask) {
        if (!mask) return 0u;
        while (!(mask & 1)) {
            mask >>= 1;
            v >>= 1;
        }
        return (v & mask) * 255 / mask;
    };
    out->width = int(width);
    out->height = int(height);
    out->px.resize(size_t(width) * height);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const char* p = b.data() + offset + size_t(y) * bytesPerLine + size_t(x) * pixelBytes;
            uint32_t v = 0;
            for (uint32_t k = 0; k < pixelBytes; ++k) {
                const uint32_t byte = uint8_t(p[k]);
                v |= lsbFirst ? byte << (8 * k) : byte << (8 * (pixelBytes - 1 - k));
            }
            out->px[size_t(y) * width + x] =
                channel(v, red) << 16 | channel(v, green) << 8 | channel(v, blue);
        }
    }
    return true;
}

// Pixels in a rectangle for which the test holds.
template <typename Test> int CountPixels(const Bmp& bmp, int x0, int y0, int x1, int y1, Test test) {
    int n = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x)
            n += test(bmp.At(x, y));
    }
    return n;
}

bool IsGreen(uint32_t p) {
    const int r = int(p >> 16 & 0xFF), g = int(p >> 8 & 0xFF), b = int(p & 0xFF);
    return g > 180 && r < g - 40 && b < g - 40;
}

class DrawScreens : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!OnPath("Xvfb") || !OnPath("xdotool"))
            GTEST_SKIP() << "Xvfb and xdotool are needed (deps.sh installs them)";
        dir_ = gamerun::CopyDemoData("zt_draw_run_");
        // Xvfb picks a free display itself and tells its number, so parallel
        // or left-over servers cannot be mistaken for this run's.
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        xvfb_ = fork();
        if (xvfb_ == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            // A black root: what the game does not cover stays black. No
            // window manager runs on it.
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-br",
                   "-nolisten", "tcp", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        while (number.find('\n') == std::string::npos && poll(&p, 1, 30000) > 0) {
            char buf[16];
            const ssize_t n = read(fds[0], buf, sizeof buf);
            if (n <= 0) break;
            number.append(buf, size_t(n));
        }
        close(fds[0]);
        ASSERT_NE(number.find('\n'), std::string::npos) << "Xvfb did not start";
        display_ = ":" + number.substr(0, number.find('\n'));
    }
    void TearDown() override {
        for (pid_t p : {game_, xvfb_}) {
            if (p > 0) {
                kill(p, SIGKILL);
                waitpid(p, nullptr, 0);
            }
        }
        if (!dir_.empty()) fs::remove_all(dir_);
    }

    void StartGame(const std::string& config, bool windowed = true) {
        std::ofstream(dir_ / "zt.cfg") << config;
        game_ = gamerun::StartGame(dir_, {{"DISPLAY", display_},
                                          {"SDL_VIDEODRIVER", "x11"},
                                          {"ZT_WINDOWED", windowed ? "1" : "0"},
                                          {"ZT_START_TIMES", (dir_ / "start_times.txt").string()}});
    }

    // save\video.cfg as the game's own writer makes it from the defaults
    // and `change`, in a child process (the settings are globals); zt.cfg
    // runs before it is read.
    void WriteVideoSettings(void (*change)()) {
        fs::create_directories(dir_ / "save");
        const pid_t writer = fork();
        if (writer == 0) {
            os::SetStartDirectory(dir_.string());
            SetVideoDefaults();
            change();
            WriteVideoConfig();
            _exit(0);
        }
        ASSERT_GT(writer, 0);
        int status = 0;
        ASSERT_EQ(waitpid(writer, &status, 0), writer);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        ASSERT_TRUE(fs::exists(dir_ / "save" / "video.cfg"));
    }

    // Takes the object named `name` out of the copied demo world: its block,
    // from the line before its keys to the blank line after them.
    void LeaveOutOfTheDemoWorld(const std::string& name) {
        const fs::path world = dir_ / "worlds" / "test.w";
        std::string text = gamerun::ReadFile(world);
        const size_t key = text.find("\tname " + name + "\n");
        ASSERT_NE(key, std::string::npos) << name;
        const size_t start = text.rfind("\n\n", key) + 2;
        const size_t end = text.find("\n\n", key);
        text.erase(start, end == std::string::npos ? std::string::npos : end + 2 - start);
        std::ofstream(world, std::ios::binary) << text;
    }

    // Takes the lines that start with `key` out of the block of the object
    // named `name` in the copied demo world.
    void DropKeysOfTheDemoWorld(const std::string& name, const std::string& key) {
        const fs::path world = dir_ / "worlds" / "test.w";
        std::string text = gamerun::ReadFile(world);
        const size_t start = text.find("\tname " + name + "\n");
        ASSERT_NE(start, std::string::npos) << name;
        size_t end = text.find("\n\n", start);
        if (end == std::string::npos) end = text.size();
        for (size_t at = text.find("\n\t" + key, start); at < end; at = text.find("\n\t" + key, at)) {
            const size_t next = text.find('\n', at + 1);
            end -= next - at;
            text.erase(at, next - at);
        }
        std::ofstream(world, std::ios::binary) << text;
    }

    // Waits until the demo world runs: its shuttle has passed a node.
    void WaitForTheWorld() {
        ASSERT_TRUE(
            WaitFor([&] { return Log().find("zmienna shuttle_far_side set") != std::string::npos; }, 180))
            << Log();
    }

    // Waits until the running world is shown whole. Until its level frame
    // 199 the loading screen is drawn over the frame every half second, so
    // on a busy machine, where a frame takes longer than that, every frame
    // up to there ends with the loading screen however far the world ran.
    void WaitForTheShownWorld() {
        ASSERT_TRUE(WaitFor(
            [&] {
                return gamerun::ReadFile(dir_ / "start_times.txt").find("\nworld_shown ") !=
                       std::string::npos;
            },
            300))
            << Log();
    }

    std::string Log() const { return gamerun::ReadFile(dir_ / "!console.txt"); }

    bool WaitFor(const std::function<bool()>& done, int seconds) {
        return gamerun::WaitWhileRunning(game_, done, seconds, [this] { return Log(); });
    }

    // The n-th screenshot, taken with the screenshot key, pressed again while
    // none appears (a frame slower than the key's hold misses it); read once
    // whole: a busy machine may still be writing it when it appears.
    bool Screenshot(Bmp* bmp, int n = 0) {
        char name[32];
        std::snprintf(name, sizeof name, "zt_screen%04d.bmp", n);
        const fs::path shot = dir_ / name;
        for (int tries = 0; tries < 5 && !fs::exists(shot); ++tries) {
            Press("F8");
            WaitFor([&] { return ReadBmp(shot, bmp); }, 20);
        }
        return WaitFor([&] { return ReadBmp(shot, bmp); }, 20);
    }

    // Presses a key in the game's window.
    void Press(const char* key) {
        const std::string env = "DISPLAY=" + display_ + " ";
        const std::string window = Shell(env + "xdotool search --name Brakmoor 2>/dev/null");
        ASSERT_FALSE(window.empty());
        Shell(env + "xdotool windowfocus --sync " + window + " 2>/dev/null");
        // Held for a while: the game samples its keys once a frame, and a slow
        // frame would miss a press and release that fall between two samples.
        Shell(env + "xdotool keydown " + key + " sleep 1.5 keyup " + key + " 2>/dev/null");
    }

    fs::path dir_;
    std::string display_;
    pid_t xvfb_ = -1, game_ = -1;
};

TEST_F(DrawScreens, TheFrameShowsTheClosedConsoleAndTheProfiler) {
    StartGame("ScreenWidth 1024\r\nScreenHeight 768\r\nDebug 1\r\nBackupConsole 0\r\nProfiler 1\r\n"
              "mucha 1\r\nrunworld worlds\\test.w\r\n");
    WaitForTheWorld();
    Bmp bmp;
    ASSERT_TRUE(Screenshot(&bmp));
    const float xs = float(bmp.width) / 1024.0f, ys = float(bmp.height) / 768.0f;
    auto count = [&](int x0, int y0, int x1, int y1, auto test) {
        return CountPixels(bmp, x0, y0, x1, y1, test);
    };
    auto green = IsGreen;
    auto white = [](uint32_t p) {
        return (p >> 16 & 0xFF) > 150 && (p >> 8 & 0xFF) > 150 && (p & 0xFF) > 150;
    };
    // The closed console: five lines of log in the top-left corner, 21 units apart.
    for (int k = 0; k < 5; ++k) {
        EXPECT_GT(count(0, int(21 * k * ys), int(300 * xs), int((21 * k + 21) * ys), green), 40)
            << "line " << k;
    }
    EXPECT_EQ(count(0, int(120 * ys), int(400 * xs), bmp.height, green), 0);
    // The profiler: labels right-aligned at the middle, values after it, from y 32.
    const int mid = int(512 * xs), top = int(32 * ys), step = int(14 * ys);
    EXPECT_GT(count(mid - int(150 * xs), top, mid, top + step, white), 40);
    EXPECT_GT(count(mid, top, mid + int(150 * xs), top + step, white), 40);
    EXPECT_EQ(count(mid + int(360 * xs), top, bmp.width, top + 40 * step, white), 0);
    kill(game_, SIGTERM);
    EXPECT_TRUE(WaitFor([&] { return Log().find("Tovan engine out, good bye!") != std::string::npos; }, 120));
}

// The first texel of a 32-bit TGA of the data, 0x00RRGGBB.
uint32_t TgaColour(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string b((std::istreambuf_iterator<char>(in)), {});
    if (b.size() < 22) return 0xFFFFFFFF;
    const size_t at = 18 + uint8_t(b[0]);
    return uint32_t(uint8_t(b[at + 2])) << 16 | uint32_t(uint8_t(b[at + 1])) << 8 | uint8_t(b[at]);
}

TEST_F(DrawScreens, TheShownWorldHasTheSkysBandsInTheirOrder) {
    // The sky's own texels: post-processing would tone and vignette them.
    WriteVideoSettings([] { OptionMV16 = false; });
    StartGame("ScreenWidth 1024\r\nScreenHeight 768\r\nDebug 1\r\nBackupConsole 0\r\nmucha 1\r\nrunworld "
              "worlds\\test.w\r\n");
    WaitForTheWorld();
    WaitForTheShownWorld();
    // The bands of sky.x from below the horizon up to the zenith.
    std::vector<uint32_t> bands;
    for (const char* name : {"sky_nadir", "sky_horizon", "sky_middle", "sky_high", "sky_zenith"})
        bands.push_back(TgaColour(dir_ / "textures" / (std::string(name) + ".tga")));
    auto band = [&](uint32_t p) {
        for (size_t k = 0; k < bands.size(); ++k)
            if (p == bands[k]) return int(k);
        return -1;
    };
    // The sky is drawn from the frame the world is shown on.
    Bmp bmp;
    ASSERT_TRUE(Screenshot(&bmp));
    int shown = 0;
    for (size_t k = 0; k < bands.size(); ++k)
        shown += CountPixels(bmp, 0, 0, bmp.width, bmp.height, [&](uint32_t p) { return p == bands[k]; }) >
                 bmp.width * bmp.height / 50;
    EXPECT_GE(shown, 2) << "two bands or more cover a fiftieth of the screen each";
    // Down every column the bands never climb back towards the zenith.
    for (int x = 0; x < bmp.width; x += 16) {
        int last = int(bands.size());
        for (int y = 0; y < bmp.height; ++y) {
            const int k = band(bmp.At(x, y));
            if (k < 0) continue;
            EXPECT_LE(k, last) << "column " << x << " row " << y;
            last = k;
        }
    }
    kill(game_, SIGTERM);
    EXPECT_TRUE(WaitFor([&] { return Log().find("Tovan engine out, good bye!") != std::string::npos; }, 120));
}

TEST_F(DrawScreens, FullScreenCoversTheScreenFromItsTopLeftCornerWithoutAWindowManager) {
    if (!OnPath("xwd")) GTEST_SKIP() << "xwd is needed (deps.sh installs x11-apps)";
    StartGame(
        "ScreenWidth 1024\nScreenHeight 768\nDebug 1\nBackupConsole 0\nmucha 1\nrunworld worlds\\test.w\n",
        false);
    WaitForTheWorld();
    const fs::path shot = dir_ / "root.xwd";
    Shell("xwd -display " + display_ + " -root -silent -out " + shot.string() + " 2>&1");
    Bmp screen;
    ASSERT_TRUE(ReadXwd(shot, &screen));
    ASSERT_EQ(screen.width, 1280);
    ASSERT_EQ(screen.height, 1024);
    // The game's frame is everywhere: the black root shows nowhere.
    const int black =
        CountPixels(screen, 0, 0, screen.width, screen.height, [](uint32_t p) { return p == 0; });
    EXPECT_LT(black, screen.width * screen.height / 100);
    // The closed console's lines stand in the screen's top-left corner.
    EXPECT_GT(CountPixels(screen, 0, 0, 300, 100, IsGreen), 200);
    kill(game_, SIGTERM);
    EXPECT_TRUE(WaitFor([&] { return Log().find("Tovan engine out, good bye!") != std::string::npos; }, 120));
}

// Two runs of the game seen from its start point past level frame 151,
// where the player's trigger at the start point has fired (triggers work
// from level frame 203): the first with `DrawPostprocess` 0, the second with
// the chain drawing. With the chain the bright panel on the north wall
// glows onto the wall around it, while the panel keeps its own colour. HDR
// is off in the video settings: its tone mapping keeps a white panel below
// the bloom's cone.
TEST_F(DrawScreens, WithPostProcessingTheBrightPanelGlowsOntoTheWallAroundIt) {
    WriteVideoSettings([] {
        OptionMV16 = true;
        OptionMV08 = false;
        OptionMV21 = false;
    });
    // The start point's trigger keeps its line but not the camera ride; the
    // cloth and the light shaft in front of the panel go.
    DropKeysOfTheDemoWorld("ride_start", "action_camera_look_from");
    LeaveOutOfTheDemoWorld("cloth");
    LeaveOutOfTheDemoWorld("light_shaft");
    // Each run writes its own log.
    auto shot = [&](const char* postprocess, int n, Bmp* bmp) {
        fs::remove(dir_ / "!console.txt");
        StartGame(std::string("ScreenWidth 640\r\nScreenHeight 480\r\nDebug 1\r\nBackupConsole 0\r\n"
                              "numconsolelines 0\r\nDrawPostprocess ") +
                  postprocess + "\r\nmucha 1\r\nrunworld worlds\\test.w\r\n");
        ASSERT_TRUE(WaitFor([&] { return Log().find("Camera ride starts") != std::string::npos; }, 180))
            << Log();
        ASSERT_TRUE(Screenshot(bmp, n));
        kill(game_, SIGTERM);
        EXPECT_TRUE(
            WaitFor([&] { return Log().find("Tovan engine out, good bye!") != std::string::npos; }, 120));
        waitpid(game_, nullptr, 0);
        game_ = -1;
        EXPECT_EQ(Log().find("bright_panel.tga - brak normala!"), std::string::npos) << "its mask is there";
    };
    Bmp plain, chain;
    shot("0", 0, &plain);
    shot("1", 1, &chain);
    if (HasFatalFailure()) return;
    ASSERT_EQ(chain.width, plain.width);
    ASSERT_EQ(chain.height, plain.height);

    // The panel: the near-white pixels of the plain picture, fully bright
    // through its normal map's mask.
    auto sum = [](uint32_t p) { return int(p >> 16 & 0xFF) + int(p >> 8 & 0xFF) + int(p & 0xFF); };
    int x0 = plain.width, x1 = -1, y0 = plain.height, y1 = -1, count = 0;
    for (int y = 0; y < plain.height; ++y)
        for (int x = 0; x < plain.width; ++x)
            if (sum(plain.At(x, y)) > 700) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
                y0 = std::min(y0, y);
                y1 = std::max(y1, y);
                ++count;
            }
    ASSERT_GT(count, 400) << "the panel is in view";
    EXPECT_GT(count, (x1 - x0 + 1) * (y1 - y0 + 1) * 9 / 10) << "and whole";
    ASSERT_TRUE(x0 > 8 && y0 > 8 && x1 + 8 < plain.width && y1 + 8 < plain.height);

    // Its inner half keeps its colour: the glow adds little to near white.
    const int w = x1 - x0, h = y1 - y0;
    for (int y = y0 + h / 4; y <= y1 - h / 4; y += 4)
        for (int x = x0 + w / 4; x <= x1 - w / 4; x += 4) {
            const uint32_t a = plain.At(x, y), b = chain.At(x, y);
            for (int shift : {16, 8, 0})
                ASSERT_NEAR(int(a >> shift & 0xFF), int(b >> shift & 0xFF), 12) << x << "," << y;
        }
    // Four pixels out from the middle of each edge, the wall is brighter.
    const int cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
    const struct {
        const char* edge;
        int x, y;
    } beside[] = {{"above", cx, y0 - 4}, {"below", cx, y1 + 4}, {"left", x0 - 4, cy}, {"right", x1 + 4, cy}};
    for (const auto& b : beside) {
        EXPECT_LT(sum(plain.At(b.x, b.y)), 400) << b.edge << ": the wall";
        EXPECT_GT(sum(chain.At(b.x, b.y)), sum(plain.At(b.x, b.y)) + 60) << b.edge;
    }
}

TEST_F(DrawScreens, TheDemoWorldDrawnByTheFullPipelineShowsTheNorthWall) {
    // The game's own video settings, the full pipeline with the sky-light
    // pass and its shadows, without post-processing: the crate's texels as
    // the pass lights them, not as the chain tones them.
    WriteVideoSettings([] { OptionMV16 = false; });
    // The trigger at the start point begins the camera's ride, which would
    // take the view away from the origin.
    LeaveOutOfTheDemoWorld("ride_start");
    StartGame("ScreenWidth 640\r\nScreenHeight 480\r\nDebug 1\r\nBackupConsole 0\r\nnumconsolelines 0\r\n"
              "RecalculateOccluders 1\r\nmucha 1\r\nrunworld worlds\\test.w\r\n");
    WaitForTheWorld();
    WaitForTheShownWorld();
    Bmp bmp;
    ASSERT_TRUE(Screenshot(&bmp));
    // From the origin along +z the north wall fills the upper half: the
    // crate texture's brown and orange, lit (red over green over blue).
    auto crateTexel = [](uint32_t p) {
        const int r = int(p >> 16 & 0xFF), g = int(p >> 8 & 0xFF), b = int(p & 0xFF);
        return r >= 12 && r > g && g >= b && b * 4 <= r;
    };
    const int upper = bmp.width * (bmp.height / 2);
    EXPECT_GT(CountPixels(bmp, 0, 0, bmp.width, bmp.height / 2, crateTexel), upper * 3 / 5);
    kill(game_, SIGTERM);
    EXPECT_TRUE(WaitFor([&] { return Log().find("Tovan engine out, good bye!") != std::string::npos; }, 120));
    const std::string log = Log();
    for (const char* bad :
         {"does not exist!", "create error", "HEFFECT", "ID3DXEffect", "no valid technique", "Za duzy idx"}) {
        EXPECT_EQ(log.find(bad), std::string::npos) << bad << "\n" << log;
    }
}

} // namespace
