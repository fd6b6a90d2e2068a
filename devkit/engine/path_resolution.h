#ifndef DEVKIT_ENGINE_PATH_RESOLUTION_H_
#define DEVKIT_ENGINE_PATH_RESOLUTION_H_

#include <string>

namespace devkit {

// |path| as the engine uses it: a relative path is taken from |base_directory| (the folder of
// the executable, so that a host started from anywhere finds its data beside it); absolute,
// UNC and drive-relative paths stay as they are; a path rooted at "\" takes the base's drive.
// An empty path stays empty, so that it fails the existence checks instead of naming the base.
std::wstring ResolveAgainst(const std::wstring& base_directory, const std::wstring& path);

}  // namespace devkit

#endif  // DEVKIT_ENGINE_PATH_RESOLUTION_H_
