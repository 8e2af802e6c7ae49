#include "app/Records.h"

#include <cstring>

AddObjectParams::AddObjectParams() {
    Orientation = orientation();
    Reset();
}

void AddObjectParams::Reset() {
    dwType = 0;
    dwFlags = 13;
    dwFlags2 = 0;
    dwFlags3 = 0;
    std::memset(szFileName, 0, sizeof szFileName);
    vPosition = {0, 0, 0};
    vScale = {1, 1, 1};
    Orientation.InitYawPitchRoll(0, 0, 0);
    fRadius = 320.0f;
    fLightSize = 2.0f;
    fSpare1 = 0.0f;
    fSpare2 = -1.0f;
    fSpare3 = 0.0f;
    fSpare4 = 1.5707964f;
    fExtraValue = 0.0f;
}

ShakeScreenParams::ShakeScreenParams() {
    // Zeroed whole first so the padding bytes of the saved image are defined.
    std::memset(static_cast<void*>(this), 0, sizeof *this);
    bOn = 0;
    fAmplitude1 = 20.0f;
    fPeriod1 = 1.0f;
    fAmplitude2 = 12.0f;
    fPeriod2 = 1.4f;
    fAmplitude3 = 8.0f;
    fPeriod3 = 1.4f;
    fDistance = 640.0f;
    fDuration = 4.0f;
    bNegativeStart = 0;
}

bool NoObjectFilter(ObjectRecord*, ObjectRecord*) {
    return true;
}

SegmentQuery::SegmentQuery() {
    Reset();
}

void SegmentQuery::Reset() {
    pStart = nullptr;
    pEnd = nullptr;
    pFilter = NoObjectFilter;
    pFilterArgument = nullptr;
    bSeeThrough = 0;
    bCoarse = 0;
    fCoarseDistance = 5000.0f;
    bIncludeExcluded = 0;
    bStickMarkers = 0;
}

void SegmentHit::Reset() {
    // Field by field: the test resets a hit for every segment, and the
    // skinned stage's record, the bulk of it, is kept.
    bHit = 0;
    vPoint = {};
    fDistance = 0;
    vNormal = {};
    hObject = nullptr;
    dwFace = 0;
    dwTextureId = 0;
    fValue1 = fValue2 = 0;
    vSegmentStart = {};
    vSegmentEnd = {};
    bSkinned = 0;
    dwHitZone = 0;
    std::memset(szNodeName, 0, sizeof szNodeName);
}
