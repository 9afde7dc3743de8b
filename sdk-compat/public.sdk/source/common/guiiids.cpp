// Interface ids of the editor-view interfaces (pluginterfaces/gui), which the
// SDK subset declares but does not define.

#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"

namespace Steinberg {

DEF_CLASS_IID (IPlugView)
DEF_CLASS_IID (IPlugFrame)
DEF_CLASS_IID (IPlugViewContentScaleSupport)

namespace Linux {
DEF_CLASS_IID (IEventHandler)
DEF_CLASS_IID (ITimerHandler)
DEF_CLASS_IID (IRunLoop)
} // namespace Linux

} // namespace Steinberg
