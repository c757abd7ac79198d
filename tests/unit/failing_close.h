#pragma once
// Makes the next close(2) of the test program report a failure (EIO) after
// closing the descriptor for real, as a disk that loses data late would.
// The unit tests link with --wrap=close, so that the core's own calls go
// through here.
void FailNextClose();
