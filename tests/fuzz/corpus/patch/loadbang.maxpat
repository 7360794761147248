{
    "patcher": {
        "fileversion": 1,
        "boxes": [
            {"box": {"id": "obj-1", "maxclass": "newobj", "text": "loadbang", "numinlets": 1, "numoutlets": 1,
                     "outlettype": ["bang"], "patching_rect": [20.0, 20.0, 60.0, 22.0]}},
            {"box": {"id": "obj-2", "maxclass": "message", "text": "first", "numinlets": 2, "numoutlets": 1,
                     "patching_rect": [20.0, 50.0, 40.0, 22.0]}},
            {"box": {"id": "obj-3", "maxclass": "newobj", "text": "print lb", "patching_rect": [20.0, 80.0, 60.0, 22.0]}},
            {"box": {"id": "obj-4", "maxclass": "menuui", "patching_rect": [100.0, 20.0, 64.0, 32.0]}},
            {"box": {"id": "obj-5", "maxclass": "newobj", "text": "loadbang", "patching_rect": [200.0, 20.0, 60.0, 22.0]}},
            {"box": {"id": "obj-6", "maxclass": "newobj", "text": "print", "patching_rect": [200.0, 50.0, 40.0, 22.0]}},
            {"box": {"id": "obj-7", "maxclass": "testui", "patching_rect": [300.0, 20.0, 120.0, 60.0]}}
        ],
        "lines": [
            {"patchline": {"source": ["obj-1", 0], "destination": ["obj-2", 0]}},
            {"patchline": {"source": ["obj-2", 0], "destination": ["obj-3", 0]}},
            {"patchline": {"source": ["obj-5", 0], "destination": ["obj-6", 0]}}
        ]
    }
}
