{"boxes": [], "lines": []}
