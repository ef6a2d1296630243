// Setup files: parsed, written back, and loaded by every setup module of
// each hardware version, as a hand-edited file is by a camera.
#include <list>
#include <sstream>
#include <string>

#include "vova/CameraFactory.h"
#include "vova/ParameterFileParser.h"
#include "vova/ParameterList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::istringstream in(std::string(reinterpret_cast<const char *>(data), size));
    VOVA::ParameterList params;
    if (VOVA::ParameterFileParser::parse(in, params) != QOV_SUCCESS)
        return 0;
    std::ostringstream out;
    VOVA::ParameterFileParser::save(params, out);
    VOVA::ParameterFileParser::saveGrouped(params, out, true);

    static const unsigned versions[][2] = {{1, 0}, {2, 6}};
    for (const auto &v : versions) {
        for (VOVA::SetupModule *module : VOVA::CameraFactory::setupModulesFromHWVersion(v[0], v[1])) {
            if (module->load(params) == QOV_SUCCESS) {
                VOVA::ParameterList saved;
                module->save(saved, VOVA::ModuleBase::SAVE_VAL);
            }
            delete module;
        }
    }
    return 0;
}
