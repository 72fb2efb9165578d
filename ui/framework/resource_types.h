// Resource types of our own that both the resource script and the framework
// name. Plain preprocessor text, so that the resource compiler reads it too.
#pragma once

// A dialog template's initialisation data (the items of its lists), stored
// under the template's id.
#define RT_DIALOG_INIT 240
