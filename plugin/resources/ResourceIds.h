#pragma once

// Ids of the resources that the host looks up by number. Shared by the resource
// script and the generator, because the property list names the terminology's id.
#define VEXO_PROPERTY_LIST_ID 16002
#define VEXO_TERMINOLOGY_ID 16003
