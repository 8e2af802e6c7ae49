#ifdef ZT_HAVE_IRRLICHT
#include "bench/IrrlichtParticles.h"

#include <chrono>

#include <irrlicht/irrlicht.h>

double IrrlichtParticleFrame(int frames, float frameSeconds, int perFrame, int lifeMs) {
    using namespace irr;
    IrrlichtDevice* device = createDevice(video::EDT_NULL, core::dimension2d<u32>(64, 64));
    if (!device) return 0.0;
    scene::ISceneManager* smgr = device->getSceneManager();
    scene::IParticleSystemSceneNode* ps = smgr->addParticleSystemSceneNode(false);
    const u32 perSecond = u32(float(perFrame) / frameSeconds);
    const video::SColor colour(255, 255, 200, 100);
    scene::IParticleEmitter* em = ps->createBoxEmitter(
        core::aabbox3d<f32>(-400, -100, -400, 400, 100, 400), core::vector3df(0, 0.01f, 0), perSecond, perSecond,
        colour, colour, u32(lifeMs), u32(lifeMs), 30, core::dimension2df(8, 8), core::dimension2df(8, 8));
    ps->setEmitter(em);
    em->drop();
    scene::IParticleAffector* gravity = ps->createGravityAffector(core::vector3df(0, -0.0005f, 0), 1000);
    ps->addAffector(gravity);
    gravity->drop();
    scene::IParticleAffector* fade = ps->createFadeOutParticleAffector(video::SColor(0, 0, 0, 0), u32(lifeMs));
    ps->addAffector(fade);
    fade->drop();
    const u32 step = u32(frameSeconds * 1000.0f);
    u32 time = 0;
    for (int i = 0; i < 2 * lifeMs / int(step) + 2; ++i)
        ps->doParticleSystem(time += step);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i)
        ps->doParticleSystem(time += step);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    device->drop();
    return seconds / frames;
}
#endif
