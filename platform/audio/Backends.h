// The back-ends' entry points, used by OpenDevice.
#pragma once

#include <memory>

#include "platform/audio/Audio.h"

namespace audio {
namespace al {
// The default output device of OpenAL Soft; NoDriver when none opens.
Result OpenDevice(std::unique_ptr<Device>* device);
// OpenAL Soft's loopback device, mixed by RenderLoopback.
Result OpenLoopbackDevice(std::unique_ptr<Device>* device);
} // namespace al
namespace silent {
std::unique_ptr<Device> OpenDevice();
} // namespace silent
} // namespace audio
