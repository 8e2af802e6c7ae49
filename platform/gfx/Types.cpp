#include "platform/gfx/Types.h"
#include "platform/gfx/Device.h"

namespace gfx {

const char* ResultName(Result r) {
    switch (r) {
    case Result::Ok:
        return "OK";
    case Result::DeviceLost:
        return "DEVICELOST";
    case Result::DeviceNotReset:
        return "DEVICENOTRESET";
    case Result::InvalidCall:
        return "INVALIDCALL";
    case Result::NotAvailable:
        return "NOTAVAILABLE";
    case Result::OutOfVideoMemory:
        return "OUTOFVIDEOMEMORY";
    case Result::OutOfMemory:
        return "OUTOFMEMORY";
    case Result::DeviceRemoved:
        return "DEVICEREMOVED";
    case Result::DriverInternalError:
        return "DRIVERINTERNALERROR";
    case Result::InvalidData:
        return "INVALIDDATA";
    }
    return "?";
}

uint32_t ResultLowWord(Result r) {
    switch (r) {
    case Result::Ok:
        return 0;
    case Result::DeviceLost:
        return 2152;
    case Result::DeviceNotReset:
        return 2153;
    case Result::InvalidCall:
        return 2156;
    case Result::NotAvailable:
        return 2154;
    case Result::OutOfVideoMemory:
        return 380;
    case Result::OutOfMemory:
        return 14;
    case Result::DeviceRemoved:
        return 2160;
    case Result::DriverInternalError:
        return 2087;
    case Result::InvalidData:
        return 2905;
    }
    return 0xFFFF;
}

int DepthBits(Format f) {
    switch (f) {
    case Format::D16:
        return 16;
    case Format::D15S1:
        return 15;
    case Format::D24X8:
    case Format::D24S8:
    case Format::D24X4S4:
        return 24;
    case Format::D32:
        return 32;
    default:
        return 0;
    }
}

int StencilBits(Format f) {
    switch (f) {
    case Format::D15S1:
        return 1;
    case Format::D24S8:
        return 8;
    case Format::D24X4S4:
        return 4;
    default:
        return 0;
    }
}

namespace elemtype {
uint32_t Size(uint8_t type) {
    switch (type) {
    case Float1:
    case Color:
    case UByte4:
    case Short2:
    case UByte4N:
    case Short2N:
    case Float16x2:
        return 4;
    case Float2:
    case Short4:
    case Short4N:
    case Float16x4:
        return 8;
    case Float3:
        return 12;
    case Float4:
        return 16;
    default:
        return 0;
    }
}
} // namespace elemtype

} // namespace gfx
