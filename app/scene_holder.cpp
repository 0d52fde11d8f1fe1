// Storage of the process-wide scene holder (user-interface thread only).
#include "app/scene_holder.h"

#include "app/scene.h"

std::shared_ptr<Scene>& sceneHolder() {
  static std::shared_ptr<Scene> holder;
  return holder;
}

std::string& creationFailure() {
  static std::string reason;
  return reason;
}
