// An input device that answers from a script, for the keyboard and mouse
// code above the platform layer: the keyboard state, the buffered events
// and the answers of reads and acquires.
#pragma once

#include <algorithm>
#include <cstring>
#include <deque>
#include <vector>

#include "platform/input/Input.h"

class FakeInputDevice final : public input::Device {
  public:
    explicit FakeInputDevice(input::DeviceKind kind) : kind_(kind) {}

    input::DeviceKind Kind() const override { return kind_; }
    input::Result SetDataFormat(input::DataFormat) override { return input::Result::Ok; }
    input::Result SetCooperativeLevel(window::Window*, uint32_t) override { return input::Result::Ok; }
    input::Result SetBufferSize(uint32_t) override { return input::Result::Ok; }
    input::Result Acquire() override {
        ++acquireCalls;
        if (acquireAnswers.empty()) return input::Result::Ok;
        input::Result r = acquireAnswers.front();
        if (acquireAnswers.size() > 1) acquireAnswers.pop_front();
        return r;
    }
    input::Result Unacquire() override { return input::Result::Ok; }
    input::Result GetDeviceState(void* data, uint32_t size) override {
        if (readAnswer != input::Result::Ok) return readAnswer;
        std::memcpy(data, keys, std::min<uint32_t>(size, sizeof keys));
        return input::Result::Ok;
    }
    input::Result GetDeviceData(input::MouseEvent* out, uint32_t* count) override {
        if (readAnswer != input::Result::Ok) {
            *count = 0;
            return readAnswer;
        }
        const uint32_t n = std::min<uint32_t>(*count, uint32_t(events.size()));
        std::copy_n(events.begin(), n, out);
        events.erase(events.begin(), events.begin() + n);
        *count = n;
        return input::Result::Ok;
    }
    void Release() override { ++released; }

    input::DeviceKind kind_;
    uint8_t keys[256] = {};
    std::vector<input::MouseEvent> events;
    input::Result readAnswer = input::Result::Ok;
    // Answers of Acquire in turn; the last one repeats.
    std::deque<input::Result> acquireAnswers;
    int acquireCalls = 0;
    int released = 0;
};
