#pragma once

#include <cstdint>

#include "core/object/CTInterface.h"

struct DRenderContext;
struct DRenderPacket;

// One step of the render pipeline: takes a render shape in one state and
// leaves it in another (cloned, lit, moved into another space, drawn). A
// stage declares what it does with four masks over the shape's state word:
// it refuses a state with any forbidden bit, needs every required bit, and
// afterwards clears and sets its own bits. The pipeline manager finds routes
// by these masks alone, so they are the stage's contract.
//
// The manager makes one instance of every registered stage class; a stage
// serves one shape at a time.
class CTPipelineStage : public CTInterface {
  QIBO_CLASS(CTPipelineStage)

 public:
  void DoAddProperties() override;

  // Runs the stage on the packet's shape: PrepareContext on the first run
  // of the context, then DoProcess; on success the current shape's state
  // becomes Peek(state). False without a packet or when DoProcess fails.
  bool Process(DRenderPacket* packet);
  // The shape's state passes HandlesState and the packet's context passes
  // HandlesContext.
  bool Handles(DRenderPacket* packet) const;
  bool HandlesState(uint32_t state) const {
    return (state & m_forbidden) == 0 && (state & m_required) == m_required;
  }
  // The state this stage would leave.
  uint32_t Peek(uint32_t state) const { return (state & ~m_clear) | m_set; }
  // Whether the stage can work for the context's target; the base: always.
  virtual bool HandlesContext(DRenderContext*) const { return true; }
  // Makes PrepareContext run again at the next Process.
  void InvalidateContext() { m_prepared = false; }

  int GetEstimatedDelay(int items) const { return m_time * items; }
  int GetEstimatedItems(int items) const { return static_cast<int>(static_cast<float>(items) * m_reduction); }

  uint32_t GetForbiddenMask() const { return m_forbidden; }
  uint32_t GetRequiredMask() const { return m_required; }
  uint32_t GetClearMask() const { return m_clear; }
  uint32_t GetSetMask() const { return m_set; }
  uint32_t GetTotalCount() const { return m_totalCount; }

 protected:
  CTPipelineStage(uint32_t forbidden, uint32_t required, uint32_t clear, uint32_t set)
      : m_forbidden(forbidden), m_required(required), m_clear(clear), m_set(set) {}
  CTPipelineStage() = default;

  // Once per context, before the first shape; the base does nothing.
  virtual void PrepareContext(DRenderContext*) {}
  // The stage's work on packet->shape; false ends the shape's run.
  virtual bool DoProcess(DRenderPacket* packet) = 0;

  void SetMasks(uint32_t forbidden, uint32_t required, uint32_t clear, uint32_t set) {
    m_forbidden = forbidden;
    m_required = required;
    m_clear = clear;
    m_set = set;
  }
  void SetCost(int time, float reduction) {
    m_time = time;
    m_reduction = reduction;
  }

 private:
  bool m_prepared = false;
  uint32_t m_forbidden = 0;
  uint32_t m_required = 0;
  uint32_t m_clear = 0;
  uint32_t m_set = 0;
  uint32_t m_totalTime = 0;  // statistics kept by the stages that measure
  uint32_t m_totalCount = 0;
  int32_t m_time = 0;  // estimated cost per item
  float m_reduction = 1.0f;
};
