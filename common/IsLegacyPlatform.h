#pragma once

// True on the old consumer family (major version 3, or 4 with a minor other
// than 0). The version word is read once per process.
bool IsLegacyPlatform();
