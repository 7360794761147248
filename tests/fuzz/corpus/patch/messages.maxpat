{
    "patcher": {
        "boxes": [
            {"box": {"id": "obj-1", "maxclass": "message", "varname": "m", "text": "hello 1 2., 5, $1 foo",
                     "patching_rect": [20.0, 20.0, 120.0, 22.0]}},
            {"box": {"id": "obj-2", "maxclass": "newobj", "text": "print out", "patching_rect": [20.0, 200.0, 60.0, 22.0]}},
            {"box": {"id": "obj-3", "maxclass": "message", "varname": "l", "text": "list 1 2",
                     "patching_rect": [20.0, 50.0, 50.0, 22.0]}},
            {"box": {"id": "obj-4", "maxclass": "message", "varname": "b", "text": "bang",
                     "patching_rect": [20.0, 80.0, 40.0, 22.0]}},
            {"box": {"id": "obj-5", "maxclass": "message", "varname": "f", "text": "5.",
                     "patching_rect": [20.0, 110.0, 40.0, 22.0]}},
            {"box": {"id": "obj-6", "maxclass": "newobj", "text": "print \"two words\"", "patching_rect": [100.0, 200.0, 60.0, 22.0]}}
        ],
        "lines": [
            {"patchline": {"source": ["obj-1", 0], "destination": ["obj-2", 0]}},
            {"patchline": {"source": ["obj-3", 0], "destination": ["obj-2", 0]}},
            {"patchline": {"source": ["obj-4", 0], "destination": ["obj-2", 0]}},
            {"patchline": {"source": ["obj-5", 0], "destination": ["obj-2", 0]}}
        ]
    }
}
