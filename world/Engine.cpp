#include "world/Engine.h"

EEngine g_Engine;

EEngine::EEngine() = default;
EEngine::~EEngine() = default;
