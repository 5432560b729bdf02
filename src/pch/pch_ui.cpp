// Host of the UI precompiled header.
