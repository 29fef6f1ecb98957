// The generic path of the option dispatcher: names the dispatcher doesn't
// know go to the media libraries' own option tables (codec contexts per
// media type, the format context, the scaler), and are remembered so that
// every codec or format context made later receives them.
#pragma once

#include <memory>
#include <string>

namespace media {

struct TOptionContexts;
using OptionContextSet = TOptionContexts;

// Frees a set where the set's type is complete (holders need not see it).
struct OptionContextSetFree {
  void operator()(OptionContextSet* set) const;
};
using OptionContextSetPtr = std::unique_ptr<OptionContextSet, OptionContextSetFree>;

// Empty when the libraries cannot make the contexts.
OptionContextSetPtr CreateOptionContexts(int swsFlags);

// False when no table knows the name or the value is refused.
bool GenericSetOption(OptionContextSet* set, const std::string& name, const std::string& value);

// True when one of the tables GenericSetOption tries has an option of that
// name, whatever it would say to a value.
bool GenericKnowsOption(OptionContextSet* set, const std::string& name);

// Copies every remembered option whose flags include all of `flags` from the
// option context of `mediaType` (-1: the format context) onto `target`
// (an AVCodecContext or AVFormatContext).
void GenericApplyOptions(OptionContextSet* set, void* target, int mediaType, int flags);

// Reads an integer option back from a media type's codec option context.
long long GenericGetInt(OptionContextSet* set, int mediaType, const char* name);

// The scaler flags the scaler option context holds now.
int GenericScalerFlags(OptionContextSet* set);

}  // namespace media
