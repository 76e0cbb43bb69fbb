// The one place where the player's families of kinds are put in: object
// kinds, motions, media managers and built-in function families, each from
// its family's factory. The player and the headless runner call it before
// they start a game; calling it again changes nothing.
#pragma once

void InstallPlayerModules();
