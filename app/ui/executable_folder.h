// The folder the tool was started from. The data folder and the movie files
// lie beside the executable as it was launched: a symlink in a staged folder
// must not be followed to the build tree.
#pragma once

#include <QString>

namespace kestrova::ui {

// From argv[0] when it names a path; otherwise (started through PATH) the
// folder of the running executable.
QString ExecutableFolder(const char* argv0, const QString& resolvedFolder);

}  // namespace kestrova::ui
