// What the interpreter needs of the display-object registry: its event
// queue, whether a named object still exists, scrapping one, and the scene
// reset. Objects are reached by name only, so that nothing the interpreter
// keeps can outlive the object it refers to.
#pragma once
#include <string>

class TTimerList;

class TSceneLink {
public:
    virtual ~TSceneLink() = default;
    virtual TTimerList& Events() = 0;
    // FindObject: any object of that exact name.
    virtual bool ObjectExists(const std::string& name) = 0;
    // Schedules the named object for deletion; false when there is none.
    virtual bool ScrapObject(const std::string& name) = 0;
    // The scene reset of the reset command: registry and backlog.
    virtual void ResetScene() = 0;
};

// The registry's link; null while no registry exists.
extern TSceneLink* Scene;
