#pragma once

#include "core/geometry/DRenderShape.h"
#include "core/render/CTPipelineStage.h"

// Two stages that show a shape's normals: they turn the face normals (one
// line from each face's middle) or the vertex normals (one line from each
// vertex) into a line shape of their own, a third of a normal long, and send
// that on to be drawn as lines. Reached only through a target that asks for
// their bits.

class CTPipelineStage_DrawFaceNormals : public CTPipelineStage {
  QIBO_CLASS(CTPipelineStage_DrawFaceNormals)

 public:
  CTPipelineStage_DrawFaceNormals();

 protected:
  bool DoProcess(DRenderPacket* packet) override;

 private:
  DRenderShape m_lines;
};

class CTPipelineStage_DrawVertexNormals : public CTPipelineStage {
  QIBO_CLASS(CTPipelineStage_DrawVertexNormals)

 public:
  CTPipelineStage_DrawVertexNormals();

 protected:
  bool DoProcess(DRenderPacket* packet) override;

 private:
  DRenderShape m_lines;
};
