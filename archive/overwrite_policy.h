#pragma once
// The answer to "overwrite this existing file?" and what it does to the
// overwrite policy of the rest of the run.

// Records the answer. With `neverAskAgain` the answer becomes the policy:
// Overwrite for yes, Skip for no. Otherwise it decides this file only, and
// while the policy is Overwrite (the user switched to it while the question
// was open) the previous answer stands.
void RecordOverwriteAnswer(bool overwrite, bool neverAskAgain);
