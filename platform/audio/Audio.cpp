#include "platform/audio/Audio.h"

#include "platform/audio/Backends.h"

namespace audio {

Result OpenDevice(Backend backend, std::unique_ptr<Device>* device) {
    if (!device) return Result::InvalidParam;
    device->reset();
    switch (backend) {
    case Backend::None:
        return Result::NoDriver;
    case Backend::Silent:
        *device = silent::OpenDevice();
        return Result::Ok;
    case Backend::OpenAl:
        return al::OpenDevice(device);
    case Backend::OpenAlLoopback:
        return al::OpenLoopbackDevice(device);
    case Backend::Auto:
        if (al::OpenDevice(device) == Result::Ok) return Result::Ok;
        *device = silent::OpenDevice();
        return Result::Ok;
    }
    return Result::InvalidParam;
}

} // namespace audio
