// Placeholder until the engine lands.
namespace cadhost::engine {}
