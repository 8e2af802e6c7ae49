#include "app/Input.h"

#include "app/FileHelpers.h"
#include "platform/input/Input.h"

input::Interface* g_pDirectInput = nullptr;

void CreateDirectInput() {
    ReleaseDirectInput();
    g_pDirectInput = input::Create();
    if (!g_pDirectInput) ErrorLog("Could not create Direct Input main object!", nullptr);
}

void ReleaseDirectInput() {
    if (g_pDirectInput) g_pDirectInput->Release();
    g_pDirectInput = nullptr;
}
