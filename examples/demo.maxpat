{
  "patcher": {
    "fileversion": 1,
    "boxes": [
      {
        "box": {
          "id": "obj-1",
          "maxclass": "newobj",
          "text": "buffer~ demo demo.wav",
          "varname": "buffer",
          "patching_rect": [30.0, 10.0, 160.0, 22.0]
        }
      },
      {
        "box": {
          "id": "obj-2",
          "maxclass": "spectrogram~",
          "varname": "left",
          "patching_rect": [30.0, 40.0, 640.0, 240.0],
          "buffer_name": "demo",
          "buffer_chan": 1,
          "mag_min": -90.0,
          "mag_max": 0.0,
          "color_scheme": 0
        }
      },
      {
        "box": {
          "id": "obj-3",
          "maxclass": "spectrogram~",
          "varname": "right",
          "patching_rect": [30.0, 300.0, 640.0, 240.0],
          "buffer_name": "demo",
          "buffer_chan": 2,
          "mag_min": -90.0,
          "mag_max": 0.0,
          "color_scheme": 0
        }
      },
      {
        "box": {
          "id": "obj-4",
          "maxclass": "gradix",
          "varname": "bar",
          "patching_rect": [680.0, 40.0, 40.0, 240.0]
        }
      }
    ],
    "lines": [
      { "patchline": { "source": ["obj-2", 8], "destination": ["obj-3", 8] } },
      { "patchline": { "source": ["obj-3", 8], "destination": ["obj-2", 8] } },
      { "patchline": { "source": ["obj-4", 0], "destination": ["obj-2", 0] } }
    ]
  }
}
