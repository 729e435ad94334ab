#include "transfer/transfer_path.h"
