#include "core/kernel/BuiltinClasses.h"

#include "core/object/ClassDesc.h"

// The core library's classes in registration order. Services are found by
// scanning the registry in this order, so abstract interfaces come before
// their default implementations. Each class is reached through the
// descriptor function its QIBO_IMPLEMENT_CLASS defines, so this list knows
// every class by name without including a header of any layer.
// clang-format off
#define QIBO_BUILTIN_CLASSES(X) \
  X(CTPipelineStage) \
  X(CTBitmapIO) \
  X(CTSceneIO) \
  X(CTTreeStreamImport) \
  X(CTMaterial) \
  X(CTTexture) \
  X(CTBasicPtr) \
  X(CTMotionBase) \
  X(CTJoystick) \
  X(CTUserJoystick) \
  X(CTSound) \
  X(CTTimer) \
  X(CTTracker) \
  X(CTRenderTarget) \
  X(CTNetwork) \
  X(CTMusicPlayer) \
  X(CTEntity) \
  X(CTGroup) \
  X(CTLODGroup) \
  X(CTCamera) \
  X(CTLight) \
  X(CTMicrophone) \
  X(CTDrawable) \
  X(CTEnvironment) \
  X(CTBox) \
  X(CTBBox) \
  X(CTCylinder) \
  X(CTSphere) \
  X(CTCone) \
  X(CTPointShape) \
  X(CTSprite) \
  X(CTSimple3DFont) \
  X(CTCollisionDetector) \
  X(CTISAGJK) \
  X(CTPIDController) \
  X(CTMotionSensor) \
  X(CTRigidMotionSensor) \
  X(CTMotionController) \
  X(CTLookAtController) \
  X(CTFloatTrack) \
  X(CTVectorTrack) \
  X(CTQuatTrack) \
  X(CTKeyFrameController) \
  X(CTDynaController) \
  X(CTSpring) \
  X(CTServiceManager) \
  X(CTErrorManager) \
  X(CTClassManager) \
  X(CTUpdateManager) \
  X(CTNetworkManager) \
  X(CTEngineManager) \
  X(CTDeviceManager) \
  X(CTFileManager) \
  X(CTMaterialManager) \
  X(CTTextureManager) \
  X(CTPlugInManager) \
  X(CTPropertyPageManager) \
  X(CTFrontEndManager) \
  X(CTCollisionManager) \
  X(CTPhysicsManager) \
  X(CTRenderPipelineManager) \
  X(CTSceneCacheManager) \
  X(CTConsoleFrontEnd) \
  X(CTPipelineStage_CachedClone) \
  X(CTPipelineStage_DrawVertexNormals) \
  X(CTPipelineStage_DrawFaceNormals) \
  X(CTPipelineStage_LocalToWorld) \
  X(CTPipelineStage_LightWorld) \
  X(CTPipelineStage_WorldToCamera) \
  X(CTPipelineStage_WorldToView) \
  X(DefaultApplication) \
  X(DefServiceManager) \
  X(DefErrorManager) \
  X(DefClassManager) \
  X(DefUpdateManager) \
  X(DefNetworkManager) \
  X(DefEngineManager) \
  X(DefDeviceManager) \
  X(DefFileManager) \
  X(DefMaterialManager) \
  X(DefTextureManager) \
  X(DefPlugInManager) \
  X(DefPropertyPageManager) \
  X(DefFrontEndManager) \
  X(DefRenderPipelineManager) \
  X(DefSceneCacheManager) \
  X(DefCollisionManager) \
  X(DefPhysicsManager)
// clang-format on

#define QIBO_DECLARE_DESCRIPTOR(Class) extern "C" ClassDesc* GetClassDesc_##Class();
QIBO_BUILTIN_CLASSES(QIBO_DECLARE_DESCRIPTOR)
#undef QIBO_DECLARE_DESCRIPTOR

namespace qibo {

const std::vector<ClassDesc*>& BuiltinClasses() {
#define QIBO_DESCRIPTOR(Class) GetClassDesc_##Class(),
  static const std::vector<ClassDesc*> classes = {QIBO_BUILTIN_CLASSES(QIBO_DESCRIPTOR)};
#undef QIBO_DESCRIPTOR
  return classes;
}

}  // namespace qibo
