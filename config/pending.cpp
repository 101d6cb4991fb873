// Placeholder until the configuration reader lands; delete with that change.
#include "config/config.h"
#include "config/validate.h"
GraphConfig graph_config;
PhysConfig phys_config;
void ini_read_value(char* out, const char*, const char*, const char*, const char*) { out[0] = 0; }
void ini_split(char*, char*, char) {}
int ini_parse_pair(char*, char*, char*) { return 0; }
void load_graph_config(GraphConfig*, const char*) {}
void load_phys_config(PhysConfig*, const char*) {}
int32_t ini_to_int(const char*) { return 0; }
float ini_to_float(const char*) { return 0.0f; }
int validate_settings(const GraphConfig&, const PhysConfig&, std::FILE*) { return 0; }
