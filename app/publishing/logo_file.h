// The company logo kept at data/model/logo.gif and uploaded by the sync.
#pragma once

#include <filesystem>

namespace kestrova::publishing {

std::filesystem::path LogoPath(const std::filesystem::path& dataPath);

// Copies source's bytes unchanged to the logo file, whatever their format.
// The new logo is written beside the old one and moved over it, so a failed
// copy leaves the old logo whole. Throws std::runtime_error with the reason.
void StoreLogo(const std::filesystem::path& source, const std::filesystem::path& dataPath);

}  // namespace kestrova::publishing
