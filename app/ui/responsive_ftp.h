// The window's own FTP commands (the connection test, the connection made on
// the movie's "ready", a video's delete) wait on the server for as long as it
// takes: there is no time-out, and a host that drops packets keeps a connect
// waiting for minutes. So that the window does not freeze meanwhile, the
// command runs on a helper thread while the window's thread goes on
// repainting and handling network replies and timers.
//
// The user's clicks and keys wait until the command is done (they are held,
// not lost): the client carries one command at a time, and a second command,
// an upload run or a close started in between would cut into it or wait on
// it forever.
#pragma once

#include <functional>

#include "ftp_client.h"
#include "sync_view.h"

namespace kestrova::ui {

// Runs work on a helper thread and returns once it is done, keeping the
// window alive meanwhile. What work shows goes through the view it is given,
// which hands every call back to the window's thread. An error that escapes
// work is thrown again here. When the application ends during the wait, the
// command is cut off (through ftp) and waited for.
void RunFtpKeepingWindowAlive(sync::SyncView& window, sync::FtpClient& ftp,
                              const std::function<void(sync::SyncView& view)>& work);

}  // namespace kestrova::ui
