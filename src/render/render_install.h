// Fills the renderer's entries of render_hook.
#pragma once

void install_render();
