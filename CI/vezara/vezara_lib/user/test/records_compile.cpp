// Every record header compiles on its own and together; their layout checks
// are static_asserts inside the headers.
#include "ci_kernel/ci_ioctrl.h"
#include "ci/ci_api_structs.h"
#include "ci/ci_modules_structs.h"
