// Placeholder; filled in with the container's reader.
