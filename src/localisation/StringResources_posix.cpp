#include "localisation/StringResources.h"

namespace tvk {

const StringResources& ProgramStringResources() {
    static const BuiltInStringResources resources;
    return resources;
}

}  // namespace tvk
