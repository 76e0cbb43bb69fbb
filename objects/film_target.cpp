#include "objects/film_target.h"

#include "objects/vorq_object.h"

void ApplyFilmClip(TVorqObject& o, const TRect& clip) {
    o.SetClipLeft(clip.Left);
    o.SetClipTop(clip.Top);
    o.SetClipWidth(WrapSub(clip.Right, clip.Left));
    o.SetClipHeight(WrapSub(clip.Bottom, clip.Top));
}

void ApplyFilmPosition(TVorqControl& c, const TFilmPlacement& place) {
    if (place.motion) {
        c.Invalidate();
        c.SetMotionX(place.left);
        c.SetMotionY(place.top);
        c.Invalidate();
    } else {
        c.SetLeft(place.left);
        c.SetTop(place.top);
    }
}
