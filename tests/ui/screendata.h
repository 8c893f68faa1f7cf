// The game screen's pictures and fonts in a directory of their own that
// stands as the interface directory while the object lives.
#pragma once

#include <string>

#include "core/gamestate.h"
#include "support/testsupport.h"

class QvScreenData {
public:
    QvScreenData();
    ~QvScreenData();
    const QvTempDir& dir() const { return dir_; }

private:
    QvTempDir dir_;
    char old_[GAME_PATH];
};
