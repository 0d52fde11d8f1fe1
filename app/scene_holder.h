// The process-wide holder of the one Scene, and the note of why the window
// could not be created. Touched only on the user-interface thread: the window
// procedure fills and empties the holder, the title timer reads it.
#pragma once

#include <memory>
#include <string>

class Scene;

// Empty before the window exists and after it is destroyed.
std::shared_ptr<Scene>& sceneHolder();

// The reason the last window creation failed inside WM_CREATE; empty when
// it did not. WinMain reports it once the creation call has returned.
std::string& creationFailure();
