#include "transfer/template_expansion.h"
