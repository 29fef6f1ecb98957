// One catalogue video as the back end describes it: twelve strings.
#pragma once

#include <string>
#include <vector>

namespace kestrova::service {

struct Tvideofile {
  std::string id;
  std::string title;
  std::string duration;
  std::string fileName;
  std::string framerate;
  std::string fileSize;
  std::string sort;
  std::string createDate;
  std::string state;      // "A" published; anything else is a draft
  std::string stateText;  // "生效" or "草稿", filled by the catalogue, never by the reader
  std::string memo;
  std::string zhimo;      // the scrolling subtitle under the video

  bool operator==(const Tvideofile&) const = default;
};

using TvideofileList = std::vector<Tvideofile>;

}  // namespace kestrova::service
