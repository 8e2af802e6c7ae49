// Running audio scenarios in a child process. OpenAL Soft reads its
// configuration (ALSOFT_DRIVERS, ALSOFT_CONF) once per process, so a scenario
// that needs another back-end runs as a disabled test of this same executable,
// started with the environment it needs. The child writes what was mixed to a
// file, which the parent then reads: the wave back-end mixes in real time, the
// loopback back-end when the child asks, so that what is heard does not depend
// on how busy the machine is.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "platform/audio/Audio.h"

namespace audiotest {

// Tests run without sound output unless a test asks for another back-end.
inline const int kQuietByDefault = setenv("ALSOFT_DRIVERS", "null", 0);

// Runs DISABLED_<name> of this executable with the extra environment; returns
// its exit status (0 when every assertion held). Everything the child needs is
// built before the fork, so that it only calls execve.
inline int RunChild(const std::string& testName, const std::vector<std::string>& env) {
    std::vector<std::string> vars = env;
    for (char** e = environ; *e; ++e) {
        const std::string var = *e;
        const std::string name = var.substr(0, var.find('=') + 1);
        // The child runs its one test whatever shard the parent runs.
        bool overridden = name == "GTEST_TOTAL_SHARDS=" || name == "GTEST_SHARD_INDEX=";
        for (const std::string& x : env)
            overridden |= x.compare(0, name.size(), name) == 0;
        if (!overridden) vars.push_back(var);
    }
    std::vector<char*> envp;
    for (std::string& v : vars)
        envp.push_back(v.data());
    envp.push_back(nullptr);
    std::string filter = "--gtest_filter=" + testName;
    std::string all = "--gtest_also_run_disabled_tests";
    std::string self = "/proc/self/exe";
    char* argv[] = {self.data(), filter.data(), all.data(), nullptr};
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        execve(self.c_str(), argv, envp.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// OpenAL's configuration for 16-bit stereo at 44100 Hz, played unchanged,
// written into dir; extra lines follow.
inline std::string OutputConf(const std::filesystem::path& dir, const std::string& extra = "") {
    const std::filesystem::path conf = dir / "alsoft.conf";
    std::ofstream(conf) << "[general]\nchannels = stereo\nsample-type = int16\nfrequency = 44100\n"
                        << "stereo-mode = speakers\nhrtf = false\ndither = false\noutput-limiter = false\n"
                        << extra;
    return "ALSOFT_CONF=" + conf.string();
}

// Environment for the OpenAL wave back-end writing 16-bit stereo at 44100 Hz
// to outFile, in real time; the configuration file is written into dir.
inline std::vector<std::string> WaveBackendEnv(const std::filesystem::path& dir,
                                               const std::filesystem::path& outFile) {
    return {"ALSOFT_DRIVERS=wave", OutputConf(dir, "[wave]\nfile = " + outFile.string() + "\n"),
            "ZT_AUDIO_CHILD=1"};
}

// Environment for a child that mixes on a clock of its own (the loopback
// back-end) and writes what it mixed to outFile as raw 16-bit stereo.
inline std::vector<std::string> LoopbackEnv(const std::filesystem::path& dir,
                                            const std::filesystem::path& outFile) {
    return {"ALSOFT_DRIVERS=null", OutputConf(dir), "ZT_AUDIO_CHILD=1",
            "ZT_LOOPBACK_OUT=" + outFile.string()};
}

// The child's side: mixes `frames` frames of the open loopback device in
// steps of at most `step` and writes them to the file LoopbackEnv named.
// `mixStep(out, n)` mixes one step with audio::RenderLoopback and lets the
// code under test see the new position before the next. False when a step
// failed.
inline bool RenderLoopbackToFile(uint32_t frames, uint32_t step,
                                 const std::function<bool(int16_t*, uint32_t)>& mixStep) {
    std::vector<int16_t> out(size_t(frames) * 2);
    for (uint32_t done = 0; done < frames; done += step) {
        if (!mixStep(out.data() + size_t(done) * 2, std::min(step, frames - done))) return false;
    }
    const char* file = std::getenv("ZT_LOOPBACK_OUT");
    if (!file) return false;
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size() * 2));
    return true;
}

// The 16-bit samples of a written wave file, channels interleaved; empty when
// the file is not 16-bit PCM.
struct WaveOutput {
    int channels = 0;
    std::vector<int16_t> samples;

    int16_t Peak(int channel) const {
        int peak = 0;
        for (size_t i = channel; i < samples.size(); i += channels)
            peak = std::max(peak, std::abs(int(samples[i])));
        return int16_t(std::min(peak, 32767));
    }
    size_t CountAbove(int channel, int level) const {
        size_t n = 0;
        for (size_t i = channel; i < samples.size(); i += channels)
            n += std::abs(int(samples[i])) > level;
        return n;
    }
};

inline WaveOutput ReadWaveOutput(const std::filesystem::path& file) {
    WaveOutput out;
    std::ifstream in(file, std::ios::binary);
    std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto le16 = [&](size_t p) { return uint16_t(b[p] | b[p + 1] << 8); };
    auto le32 = [&](size_t p) { return uint32_t(le16(p) | uint32_t(le16(p + 2)) << 16); };
    size_t pos = 12;
    int bits = 0;
    while (pos + 8 <= b.size()) {
        const uint32_t size = le32(pos + 4);
        const size_t body = pos + 8;
        if (std::memcmp(&b[pos], "fmt ", 4) == 0 && body + 16 <= b.size()) {
            out.channels = le16(body + 2);
            bits = le16(body + 14);
        } else if (std::memcmp(&b[pos], "data", 4) == 0 && bits == 16 && out.channels > 0) {
            // The writer may leave the size open while it runs; take what is there.
            const size_t n = std::min<size_t>(size ? size : b.size() - body, b.size() - body) / 2;
            out.samples.resize(n);
            std::memcpy(out.samples.data(), &b[body], n * 2);
            return out;
        }
        pos = body + size + (size & 1);
    }
    return out;
}

// The level of one frequency in each block of `blockFrames` frames, in dB of
// a full-scale sine, the louder channel: a Goertzel filter over a Hann window,
// so that tones 50 Hz or more apart do not show in each other's levels (with
// blocks of 0.1 s at 44100 Hz). A block without any of it gives -200.
inline std::vector<double> BandLevels(const WaveOutput& out, double hz, int rate, int blockFrames) {
    const size_t frames = out.channels > 0 ? out.samples.size() / size_t(out.channels) : 0;
    std::vector<double> window(static_cast<size_t>(blockFrames));
    for (int k = 0; k < blockFrames; ++k)
        window[size_t(k)] = 0.5 - 0.5 * std::cos(2 * M_PI * k / (blockFrames - 1));
    const double coef = 2 * std::cos(2 * M_PI * hz / rate);
    std::vector<double> levels;
    for (size_t start = 0; start + size_t(blockFrames) <= frames; start += size_t(blockFrames)) {
        double best = 0;
        for (int c = 0; c < out.channels; ++c) {
            double s1 = 0, s2 = 0;
            for (int k = 0; k < blockFrames; ++k) {
                const double s0 =
                    out.samples[(start + size_t(k)) * size_t(out.channels) + size_t(c)] * window[size_t(k)] +
                    coef * s1 - s2;
                s2 = s1;
                s1 = s0;
            }
            const double power = std::max(0.0, s1 * s1 + s2 * s2 - coef * s1 * s2);
            best = std::max(best, std::sqrt(power) / (blockFrames / 4.0) / 32768.0);
        }
        levels.push_back(best > 0 ? 20 * std::log10(best) : -200.0);
    }
    return levels;
}

// What a loopback child wrote: 16-bit stereo.
inline WaveOutput ReadLoopbackOutput(const std::filesystem::path& file) {
    WaveOutput out;
    std::ifstream in(file, std::ios::binary);
    std::vector<char> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    out.channels = 2;
    out.samples.resize(b.size() / 2);
    std::memcpy(out.samples.data(), b.data(), out.samples.size() * 2);
    return out;
}

inline bool InChild() {
    return std::getenv("ZT_AUDIO_CHILD") != nullptr;
}

} // namespace audiotest
