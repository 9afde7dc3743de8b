#include "plugin_ids.h"

namespace tavik {

using Steinberg::FUID;

const FUID TavikProcessorUID (classIdWord (PROCESSOR_ID_WORD0, 0), classIdWord (PROCESSOR_ID_WORD0, 1),
                              classIdWord (PROCESSOR_ID_WORD0, 2), classIdWord (PROCESSOR_ID_WORD0, 3));
const FUID TavikControllerUID (classIdWord (CONTROLLER_ID_WORD0, 0), classIdWord (CONTROLLER_ID_WORD0, 1),
                               classIdWord (CONTROLLER_ID_WORD0, 2), classIdWord (CONTROLLER_ID_WORD0, 3));

} // namespace tavik
