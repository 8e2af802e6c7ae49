// The global options of the program: plain variables that the console's
// dispatcher sets (from zt.cfg, the command line and scripts) and that every
// subsystem reads by the console name. They live for the whole process and
// hold their start values until the first zt.cfg line changes them.
//
// Names follow the console names exactly. Where a console name clashes with a
// class of the program it carries the prefix g_ and the Hungarian type
// letter: the console's "Profiler" is g_iProfiler (the profiler is a class).
// The console name "DrawProjectors" drives two flags: DrawProjectors (the one
// the renderer also writes each frame) and DrawProjectors2.
//
// Main thread only.
#pragma once

#include <cstdint>

// Bool flags that start on.
extern bool DrawNotImportant;
extern bool DrawTextures;
extern bool DrawShadows;
extern bool DrawAnimatedShadows;
extern bool AddFX;
extern bool DrawAmbientLitObjects;
extern bool DrawSkylightLitObjects;
extern bool DrawCharacterTextures;
extern bool UpdateBezier;
extern bool loadmodels;
extern bool UpdateModels;
extern bool UpdatePostacMgr;
extern bool UpdateObjects;
extern bool DrawFX;
extern bool RecalculateCamera;
extern bool RecalculateSkyShadow;
extern bool DrawPostprocess;
extern bool DrawSky;
extern bool DrawWater;
extern bool DrawGrass;
extern bool DrawSprites;
extern bool DrawModels;
extern bool DrawProjectors;
extern bool DrawProjectors2;
extern bool DrawLights;
extern bool DrawDetail;
extern bool DrawTransparent;
extern bool DrawTranslucent;
extern bool UseSkyLight;
extern bool AORenderScene;
extern bool sound;

// Bool flags that start off.
extern bool developer;
extern bool DrawPhysics;
extern bool RecalculateOccluders;
extern bool SimpleRender;
extern bool AOEnable;
extern bool RaportUndefinedTextures;
extern bool RaportDoubleTextures;
extern bool PrintShakeScreenDistance;
extern bool DrawStickMarkers;
extern bool RecalculateSkyLightEveryFrame;
extern bool Demo;
extern bool RaportVariables;
extern bool LoadOneLevelTextureOnly;
extern bool WideScreen;
extern bool DrawWorld;
extern bool DebugPerformance;
extern bool DebugVM;
extern bool DebugCharacters;
extern bool DebugHeroLights;
extern bool extractusedtextures;
extern bool raporttechs;
extern bool raportsubsets;
extern bool raporttextures;
extern bool DrawFPS;
extern bool PrintPolygonCount;
extern bool WireFrame;
extern bool DrawCharacterPaths;
extern bool DrawPaths;
extern bool StartMenu;
extern bool DrawCameraCoordinates;
extern bool DrawCompass;
extern bool God;
extern bool mucha;
extern bool EnableAntialiasing;

// Integers.
extern int32_t g_iProfiler;  // console "Profiler": profiler display mode
extern int32_t Difficulty;   // 0..3
extern uint32_t Debug;       // log verbosity
extern uint32_t SystemDebug; // allocation tracking while non-zero
extern int32_t NumApprovedLights;
extern int32_t DebugLights;
extern uint32_t screenwidth;
extern uint32_t screenheight;

// Floats.
extern float SkinmeshLightCoef;
extern float SkyLightPower;
extern float LightPowerMultiplier;
extern float SkinMeshSpeed;
extern float GlobalTimeSpeed; // the engine multiplies the frame time by it
extern float CorpseDisappearTime;
extern float MuchaSpeed;
extern float FOV;        // the normal field of view
extern float CurrentFOV; // the field of view in use now

// The 2D layout is given for a virtual 1024 x 768 screen; these scale it to
// the real one (screenwidth / 1024, screenheight / 768). Set after every file
// the console runs.
extern float g_f2DScaleX;
extern float g_f2DScaleY;
