// Host of the non-UI precompiled header.
