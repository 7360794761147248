{
    "patcher": {
        "boxes": [
            {"box": {"id": "obj-1", "maxclass": "newobj", "text": "buffer~ quiet 1000 1",
                     "patching_rect": [10.0, 10.0, 120.0, 22.0]}},
            {"box": {"id": "obj-2", "maxclass": "spectrogram~", "varname": "left", "buffer_name": "quiet",
                     "mag_scale": 0, "patching_rect": [10.0, 50.0, 300.0, 101.0]}},
            {"box": {"id": "obj-3", "maxclass": "spectrogram~", "varname": "middle", "buffer_name": "quiet",
                     "mag_scale": 0, "patching_rect": [10.0, 170.0, 300.0, 101.0]}},
            {"box": {"id": "obj-4", "maxclass": "spectrogram~", "varname": "right", "buffer_name": "quiet",
                     "mag_scale": 0, "patching_rect": [10.0, 290.0, 300.0, 101.0]}}
        ],
        "lines": [
            {"patchline": {"source": ["obj-2", 8], "destination": ["obj-3", 8]}},
            {"patchline": {"source": ["obj-3", 8], "destination": ["obj-2", 8]}},
            {"patchline": {"source": ["obj-3", 8], "destination": ["obj-4", 8]}},
            {"patchline": {"source": ["obj-4", 8], "destination": ["obj-3", 8]}}
        ]
    }
}
