// The one way into the GL headers for everything that calls GL: the entry
// points past GL 1.3 the device uses (buffers, framebuffers, samplers, clip
// control where GL has it) are declared only when GL_GLEXT_PROTOTYPES is
// defined before the first GL header, whichever file happens to include one
// first.
#pragma once

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
