// A frame: a windowed container that is made in code by a form (or another
// frame), owns the components it creates like a form does, and fills its
// parent's client area unless told otherwise. Its children are laid out by
// their Align settings.
#pragma once
#include "platform/Control.h"

class TFrame : public TWinControl {
public:
    explicit TFrame(TComponent* owner);

protected:
    void CreateParams(TCreateParams& params) override;
};
