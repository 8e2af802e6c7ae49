// A hierarchy allocator for the tests and fuzzing of the mesh hierarchy
// loader: it makes plain frames and containers, writes every call into a
// log, counts the records alive, and can fail one chosen call.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/mesh/Mesh.h"
#include "platform/mesh/MeshHierarchy.h"
#include "platform/mesh/SkinInfo.h"

class RecordingAllocator : public mesh::AllocateHierarchy {
  public:
    enum class Call { CreateFrame, CreateMeshContainer };

    // The n-th (from 0) call of that kind gives `result` and makes nothing.
    void FailAt(Call call, int n, mesh::HResult result) {
        failCall_ = call;
        failAt_ = n;
        failWith_ = result;
    }

    mesh::HResult CreateFrame(const char* name, mesh::Frame** newFrame) override {
        log.push_back(std::string("frame ") + (name ? name : "(null)"));
        *newFrame = nullptr;
        if (Fails(Call::CreateFrame, &frames_)) return failWith_;
        auto* f = new mesh::Frame;
        if (name) f->name = name;
        live.insert(f);
        *newFrame = f;
        return mesh::HResult::Ok;
    }

    mesh::HResult CreateMeshContainer(const char* name, const std::shared_ptr<mesh::Mesh>& mesh,
                                      const mesh::XMaterial* materials, uint32_t numMaterials,
                                      const uint32_t* adjacency,
                                      const std::shared_ptr<mesh::SkinInfo>& skinInfo,
                                      mesh::MeshContainer** newContainer) override {
        std::string entry = std::string("container ") + (name ? name : "(null)");
        entry += " faces " + std::to_string(mesh ? mesh->NumFaces() : 0);
        entry += " materials " + std::to_string(numMaterials);
        entry += skinInfo ? " bones " + std::to_string(skinInfo->GetNumBones()) : " static";
        log.push_back(entry);
        *newContainer = nullptr;
        if (Fails(Call::CreateMeshContainer, &containers_)) return failWith_;
        auto* c = new mesh::MeshContainer;
        if (name) c->name = name;
        c->mesh = mesh;
        if (materials) c->materials.assign(materials, materials + numMaterials);
        if (mesh) c->adjacency.assign(adjacency, adjacency + 3 * mesh->NumFaces());
        c->skinInfo = skinInfo;
        live.insert(c);
        *newContainer = c;
        return mesh::HResult::Ok;
    }

    mesh::HResult DestroyFrame(mesh::Frame* frame) override {
        log.push_back("destroy frame " + frame->name);
        // A record destroyed twice or never made would be a loader fault.
        if (live.erase(frame) != 1) ++badDestroys;
        delete frame;
        return mesh::HResult::Ok;
    }

    mesh::HResult DestroyMeshContainer(mesh::MeshContainer* container) override {
        log.push_back("destroy container " + container->name);
        if (live.erase(container) != 1) ++badDestroys;
        delete container;
        return mesh::HResult::Ok;
    }

    std::vector<std::string> log;
    std::set<const void*> live;
    int badDestroys = 0;

  private:
    bool Fails(Call call, int* count) {
        const int n = (*count)++;
        return failCall_ == call && n == failAt_;
    }

    Call failCall_ = Call::CreateFrame;
    int failAt_ = -1;
    mesh::HResult failWith_ = mesh::HResult::Ok;
    int frames_ = 0, containers_ = 0;
};
