// The build's version text, as logged at start-up and shown on the title.
#pragma once

extern const char* const quarnix_version;
