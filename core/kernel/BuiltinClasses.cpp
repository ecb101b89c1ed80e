#include "core/kernel/BuiltinClasses.h"

#include "core/devices/CTDeviceManager.h"
#include "core/devices/CTJoystick.h"
#include "core/devices/CTMotionBase.h"
#include "core/devices/CTMusicPlayer.h"
#include "core/devices/CTNetwork.h"
#include "core/devices/CTRenderTarget.h"
#include "core/devices/CTSound.h"
#include "core/devices/CTTimer.h"
#include "core/devices/CTTracker.h"
#include "core/devices/CTUserJoystick.h"
#include "core/devices/DefDeviceManager.h"
#include "core/geometry/CTBBox.h"
#include "core/geometry/CTBox.h"
#include "core/geometry/CTCollisionManager.h"
#include "core/geometry/CTCone.h"
#include "core/geometry/CTCylinder.h"
#include "core/geometry/CTPointShape.h"
#include "core/geometry/CTSimple3DFont.h"
#include "core/geometry/CTSphere.h"
#include "core/geometry/CTSprite.h"
#include "core/io/CTBitmapIO.h"
#include "core/io/CTSceneIO.h"
#include "core/kernel/CTApplication.h"
#include "core/kernel/CTClassManager.h"
#include "core/kernel/CTConsoleFrontEnd.h"
#include "core/kernel/CTEngineManager.h"
#include "core/kernel/CTErrorManager.h"
#include "core/kernel/CTFrontEndManager.h"
#include "core/kernel/CTPlugInManager.h"
#include "core/kernel/CTPropertyPageManager.h"
#include "core/kernel/CTServiceManager.h"
#include "core/kernel/CTUpdateManager.h"
#include "core/kernel/DefClassManager.h"
#include "core/kernel/DefEngineManager.h"
#include "core/kernel/DefErrorManager.h"
#include "core/kernel/DefFrontEndManager.h"
#include "core/kernel/DefPlugInManager.h"
#include "core/kernel/DefServiceManager.h"
#include "core/kernel/DefUpdateManager.h"
#include "core/motion/CTFloatTrack.h"
#include "core/motion/CTKeyFrameController.h"
#include "core/motion/CTLookAtController.h"
#include "core/motion/CTMotionController.h"
#include "core/motion/CTPIDController.h"
#include "core/motion/CTQuatTrack.h"
#include "core/motion/CTVectorTrack.h"
#include "core/object/CTBasicPtr.h"
#include "core/persist/CTFileManager.h"
#include "core/persist/DefFileManager.h"
#include "core/render/CTMaterial.h"
#include "core/render/CTMaterialManager.h"
#include "core/render/CTPipelineStage.h"
#include "core/render/CTPipelineStage_CachedClone.h"
#include "core/render/CTPipelineStage_LightWorld.h"
#include "core/render/CTRenderPipelineManager.h"
#include "core/render/CTTexture.h"
#include "core/render/CTTextureManager.h"
#include "core/render/DefMaterialManager.h"
#include "core/render/DefRenderPipelineManager.h"
#include "core/render/DefTextureManager.h"
#include "core/render/NormalStages.h"
#include "core/render/TransformStages.h"
#include "core/scene/CTCamera.h"
#include "core/scene/CTDrawable.h"
#include "core/scene/CTEntity.h"
#include "core/scene/CTEnvironment.h"
#include "core/scene/CTGroup.h"
#include "core/scene/CTLODGroup.h"
#include "core/scene/CTLight.h"
#include "core/scene/CTMicrophone.h"
#include "core/scene/CTMotionSensor.h"

namespace qibo {

const std::vector<ClassDesc*>& BuiltinClasses() {
  // Keep this order: services are found by scanning the registry in it, so
  // abstract interfaces come before their default implementations.
  static const std::vector<ClassDesc*> classes = {
      CTPipelineStage::_CD(),
      CTBitmapIO::_CD(),
      CTSceneIO::_CD(),
      CTMaterial::_CD(),
      CTTexture::_CD(),
      CTBasicPtr::_CD(),
      CTMotionBase::_CD(),
      CTJoystick::_CD(),
      CTUserJoystick::_CD(),
      CTSound::_CD(),
      CTTimer::_CD(),
      CTTracker::_CD(),
      CTRenderTarget::_CD(),
      CTNetwork::_CD(),
      CTMusicPlayer::_CD(),
      CTEntity::_CD(),
      CTGroup::_CD(),
      CTLODGroup::_CD(),
      CTCamera::_CD(),
      CTLight::_CD(),
      CTMicrophone::_CD(),
      CTDrawable::_CD(),
      CTEnvironment::_CD(),
      CTBox::_CD(),
      CTBBox::_CD(),
      CTCylinder::_CD(),
      CTSphere::_CD(),
      CTCone::_CD(),
      CTPointShape::_CD(),
      CTSprite::_CD(),
      CTSimple3DFont::_CD(),
      CTPIDController::_CD(),
      CTMotionSensor::_CD(),
      CTMotionController::_CD(),
      CTLookAtController::_CD(),
      CTFloatTrack::_CD(),
      CTVectorTrack::_CD(),
      CTQuatTrack::_CD(),
      CTKeyFrameController::_CD(),
      CTServiceManager::_CD(),
      CTErrorManager::_CD(),
      CTClassManager::_CD(),
      CTUpdateManager::_CD(),
      CTEngineManager::_CD(),
      CTDeviceManager::_CD(),
      CTFileManager::_CD(),
      CTMaterialManager::_CD(),
      CTTextureManager::_CD(),
      CTPlugInManager::_CD(),
      CTPropertyPageManager::_CD(),
      CTFrontEndManager::_CD(),
      CTCollisionManager::_CD(),
      CTRenderPipelineManager::_CD(),
      CTConsoleFrontEnd::_CD(),
      CTPipelineStage_CachedClone::_CD(),
      CTPipelineStage_DrawVertexNormals::_CD(),
      CTPipelineStage_DrawFaceNormals::_CD(),
      CTPipelineStage_LocalToWorld::_CD(),
      CTPipelineStage_LightWorld::_CD(),
      CTPipelineStage_WorldToCamera::_CD(),
      CTPipelineStage_WorldToView::_CD(),
      DefaultApplication::_CD(),
      DefServiceManager::_CD(),
      DefErrorManager::_CD(),
      DefClassManager::_CD(),
      DefUpdateManager::_CD(),
      DefEngineManager::_CD(),
      DefDeviceManager::_CD(),
      DefFileManager::_CD(),
      DefMaterialManager::_CD(),
      DefTextureManager::_CD(),
      DefPlugInManager::_CD(),
      DefFrontEndManager::_CD(),
      DefRenderPipelineManager::_CD(),
  };
  return classes;
}

}  // namespace qibo
