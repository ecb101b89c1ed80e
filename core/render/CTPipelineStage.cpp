#include "core/render/CTPipelineStage.h"

#include "core/geometry/DRenderShape.h"
#include "core/render/base/RenderInfo.h"

// One of the few classes whose ID is a fixed constant, not its name's
// checksum: streams and registries made elsewhere know it by that number.
QIBO_IMPLEMENT_CLASS(CTPipelineStage, CTInterface, .desc = "Abstract pipeline stage", .build = 1,
                     .isAbstract = true, .fixedId = 0x77F733F1)

void CTPipelineStage::DoAddProperties() {
  CTInterface::DoAddProperties();
  const ClassDesc* cd = CTPipelineStage::_CD();
  AddPropertyRO(DProperty(m_prepared, "Prepared"), cd);
  AddPropertyRO(DProperty(qibo::AsDWord(m_forbidden), "InputMask0"), cd);
  AddPropertyRO(DProperty(qibo::AsDWord(m_required), "InputMask1"), cd);
  AddPropertyRO(DProperty(qibo::AsDWord(m_clear), "OutputMask0"), cd);
  AddPropertyRO(DProperty(qibo::AsDWord(m_set), "OutputMask1"), cd);
  AddPropertyRO(DProperty(qibo::AsDWord(m_totalTime), "TotalTime"), cd);
  AddPropertyRO(DProperty(qibo::AsDWord(m_totalCount), "TotalCount"), cd);
  AddPropertyRO(DProperty(m_time, "Time"), cd);
  AddPropertyRO(DProperty(m_reduction, "Reduction"), cd);
}

bool CTPipelineStage::Handles(DRenderPacket* packet) const {
  return packet && packet->shape && HandlesState(packet->shape->GetState()) &&
         HandlesContext(packet->stageContext);
}

bool CTPipelineStage::Process(DRenderPacket* packet) {
  if (!packet) return false;
  if (!m_prepared) {
    PrepareContext(packet->stageContext);
    m_prepared = true;
  }
  ++packet->steps;
  ++m_totalCount;
  if (!DoProcess(packet) || !packet->shape) return false;
  packet->shape->SetState(Peek(packet->shape->GetState()));
  return true;
}
