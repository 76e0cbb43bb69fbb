// The one place the media kinds are installed: the managers' factory and
// the companion module's hooks. The player's start-up calls it through
// InstallPlayerModules; tests that play media call it themselves.
#pragma once

void InstallMediaManagers();
